// An owner as an owner row gives it: "USER:GROUP", each a name, as a
// system names its users and groups, or a number. Names are resolved on
// the machine the row is carried out on, where a system group such as
// "shadow" may have another number than where the list was written.
#pragma once

#include <cstddef>
#include <sys/types.h>

// The longest name a part may have.
inline constexpr std::size_t owner_name_max = 32;

// The largest number a user or group may have. The next is (uid_t)-1,
// which chown takes for "leave it as it is", and the one after it would
// wrap to root's.
inline constexpr unsigned long long owner_number_max = 4294967294;

// Whether text is USER:GROUP with both parts sound: a number of at most
// owner_number_max, or a name of letters, digits, '.', '_' and '-' that
// does not begin with '-', perhaps ending in '$', of at most
// owner_name_max bytes.
constexpr bool owner_sound(const char *text)
{
	for (int part = 0; part < 2; part++) {
		std::size_t n = 0;
		bool digits = true;
		unsigned long long number = 0;	// of the digits, once past the largest no more
		for (; text[n] != '\0' && text[n] != ':'; n++) {
			char c = text[n];
			digits = digits && c >= '0' && c <= '9';
			if (digits && number <= owner_number_max)
				number = number * 10 + static_cast<unsigned>(c - '0');
			bool name_char = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
					 c == '.' || c == '_' || (c == '-' && n > 0) ||
					 (c == '$' && n > 0 && (text[n + 1] == '\0' || text[n + 1] == ':'));
			if (!name_char)
				return false;
		}
		if (n == 0 || n > owner_name_max || (part == 0) != (text[n] == ':') ||
		    (digits && number > owner_number_max))
			return false;
		text += n + 1;
	}
	return true;
}

// The user and group a sound owner text names on this machine. Returns
// nullptr, or why not, in words.
const char *resolve_owner(const char *text, uid_t &uid, gid_t &gid);

// Write into out, which holds at least 2 * (owner_name_max + 1) bytes, the
// names of uid and gid as an owner row gives them, or their numbers where
// they have no name here.
void owner_names(uid_t uid, gid_t gid, char *out, std::size_t size);
