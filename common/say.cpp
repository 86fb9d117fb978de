#include "say.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "text.h"

void say(const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	vformat([](const char *p, std::size_t n) { fwrite(p, 1, n, stdout); }, fmt, ap);
	va_end(ap);
}

// Write to standard error; there is nowhere to say that this failed.
static void put_error(const char *p, std::size_t n)
{
	ssize_t written = write(STDERR_FILENO, p, n);
	(void)written;
}

void complain(const char *fmt, ...)
{
	// Room for two names of PATH_MAX bytes, each byte escaped, and words.
	static char line[2 * 4 * 4096 + 512];
	std::size_t used = 0;
	auto put = [&](const char *p, std::size_t n) {
		while (n > 0) {
			if (used == sizeof line) {
				put_error(line, used);
				used = 0;
			}
			std::size_t part = n < sizeof line - used ? n : sizeof line - used;
			memcpy(line + used, p, part);
			used += part;
			p += part;
			n -= part;
		}
	};
	va_list ap;
	va_start(ap, fmt);
	vformat(put, fmt, ap);
	va_end(ap);
	put_error(line, used);
}

void report(const char *label)
{
	complain("%s: %s\n", label, strerror(errno));
}
