// File capabilities as a capability row gives them, in the usual text
// form, such as "cap_net_raw=ep" or "cap_setuid,cap_setgid+ep", and as the
// kernel keeps them, in the "security.capability" attribute. The build
// turns the text into the attribute's bytes, so the programs that set and
// compare them carry no table of names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link_entry.h"

// The attribute, of caps_size bytes, is set as a little-endian word of
// revision 2 and the effective flag, then the permitted and inheritable
// words of capabilities 0 to 31, then those of 32 to 63.

// The attribute for text, or why text is not a set of capabilities:
// clauses separated by blanks, each a list of names separated by commas
// ("all", or none, for every capability) followed by operators ('=', '+',
// '-'), each with the flags ('e', 'i', 'p') it sets, adds or takes away.
// Since the attribute has one effective flag, 'e' is given to every
// capability with another flag or to none.
const char *caps_encode(std::string_view text, unsigned char (&bytes)[caps_size]);

// The text for an attribute as getxattr gives it, of any revision, in
// clauses of names with the same flags; empty where data is no attribute.
std::string caps_text(const unsigned char *data, std::size_t size);

// What a capability row's second field holds in a table: the text, its
// end, and the attribute's bytes, so that the text names the row in
// messages and the bytes follow it. Empty where text is no set of
// capabilities.
std::string caps_field(std::string_view text);
