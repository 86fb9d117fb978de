// How names from a tree or a list are written where a person reads them:
// as the UTF-8 characters they hold, with every byte that could end a line,
// move the cursor or start a terminal's escape sequence written as an
// escape instead. Heap-free, so that the programs that carry a table can
// use it as well as the host tools.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string_view>

// The length of the UTF-8 sequence that s starts, with its character in u,
// or 0 where s starts none: a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate or a value past U+10FFFF.
inline std::size_t utf8_char(std::string_view s, unsigned long &u)
{
	auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
	unsigned char c = byte(0);
	std::size_t n = c < 0x80 ? 1 : c < 0xc2 ? 0 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : c < 0xf5 ? 4 : 0;
	if (n == 0 || n > s.size())
		return 0;
	u = n == 1 ? c : c & (0x7f >> n);
	for (std::size_t i = 1; i < n; i++) {
		if ((byte(i) & 0xc0) != 0x80)
			return 0;
		u = u << 6 | (byte(i) & 0x3f);
	}
	static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
	if (u < least[n] || (u >= 0xd800 && u <= 0xdfff) || u > 0x10ffff)
		return 0;
	return n;
}

// Whether a byte is a C0 control or DEL, which no field of a list and no
// path of a table may hold.
constexpr bool control_byte(unsigned char c)
{
	return c < 0x20 || c == 0x7f;
}

// Whether a character is one of the C0 or C1 controls, or DEL: none is
// ever written as it stands.
constexpr bool control_char(unsigned long u)
{
	return (u < 0x80 && control_byte(static_cast<unsigned char>(u))) || (u >= 0x80 && u <= 0x9f);
}

// The escape of a byte as C writes it in octal: a backslash and three
// digits, in out[0] to out[3].
constexpr void octal_escape(unsigned char c, char out[4])
{
	out[0] = '\\';
	out[1] = static_cast<char>('0' + (c >> 6));
	out[2] = static_cast<char>('0' + ((c >> 3) & 7));
	out[3] = static_cast<char>('0' + (c & 7));
}

// Write s in double quotes through put(const char *, std::size_t), as C
// writes a string: '"' and '\' after a backslash, the named controls as
// \a \b \t \n \v \f \r, and every other control, and each byte of one that
// starts no UTF-8 character or a C1 control, as \ooo.
template <typename Put>
void quote(std::string_view s, Put put)
{
	static const char named[] = "\a\b\t\n\v\f\r";
	static const char letters[] = "abtnvfr";
	put("\"", 1);
	for (std::size_t i = 0; i < s.size();) {
		unsigned long u = 0;
		std::size_t n = utf8_char(s.substr(i), u);
		if (n != 0 && !control_char(u) && u != '"' && u != '\\') {
			put(s.data() + i, n);
			i += n;
			continue;
		}
		// A C1 control is escaped a byte at a time, as a stray byte is.
		std::size_t bytes = n == 0 ? 1 : n;
		for (std::size_t k = 0; k < bytes; k++, i++) {
			auto c = static_cast<unsigned char>(s[i]);
			char esc[4] = {'\\', static_cast<char>(c), '\0', '\0'};
			std::size_t len = 2;
			if (c == '"' || c == '\\') {
			} else if (const char *p = c != 0 ? std::char_traits<char>::find(named, 7, static_cast<char>(c)) : nullptr) {
				esc[1] = letters[p - named];
			} else {
				octal_escape(c, esc);
				len = 4;
			}
			put(esc, len);
		}
	}
	put("\"", 1);
}

// Write through put what printf would write for fmt, but with %q taking a
// name and writing it as quote does; %s takes a text of ours, written as it
// stands, %o an unsigned number in octal and %d an int. Every caller has
// started ap, which the analyzer cannot follow into a template.
// NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
template <typename Put>
void vformat(Put put, const char *fmt, va_list &ap)
{
	for (const char *p = fmt; *p != '\0';) {
		const char *pct = std::char_traits<char>::find(p, std::char_traits<char>::length(p), '%');
		if (pct == nullptr || pct[1] == '\0') {
			put(p, std::char_traits<char>::length(p));
			return;
		}
		put(p, static_cast<std::size_t>(pct - p));
		char number[24];
		int n = 0;
		switch (pct[1]) {
		case 'q':
			quote(va_arg(ap, const char *), put);
			break;
		case 's': {
			const char *s = va_arg(ap, const char *);
			put(s, std::char_traits<char>::length(s));
			break;
		}
		case 'o':
			n = snprintf(number, sizeof number, "%o", va_arg(ap, unsigned));
			break;
		case 'd':
			n = snprintf(number, sizeof number, "%d", va_arg(ap, int));
			break;
		default:
			put(pct, 2);
			break;
		}
		if (n > 0)
			put(number, static_cast<std::size_t>(n));
		p = pct + 2;
	}
}
// NOLINTEND(clang-analyzer-valist.Uninitialized)
