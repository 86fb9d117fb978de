#include "owner.h"

#include <cstdio>
#include <cstring>
#include <grp.h>
#include <pwd.h>

// A part of an owner text that is all digits is a number, which a sound
// text keeps to owner_number_max.
static bool number(const char *s, std::size_t n, unsigned long long &value)
{
	value = 0;
	for (std::size_t i = 0; i < n; i++) {
		if (s[i] < '0' || s[i] > '9')
			return false;
		value = value * 10 + static_cast<unsigned>(s[i] - '0');
	}
	return n > 0;
}

const char *resolve_owner(const char *text, uid_t &uid, gid_t &gid)
{
	const char *colon = strchr(text, ':');
	if (colon == nullptr || !owner_sound(text))
		return "not an owner of the form USER:GROUP";
	char user[owner_name_max + 1];
	auto n = static_cast<std::size_t>(colon - text);
	memcpy(user, text, n);
	user[n] = '\0';
	unsigned long long value;
	if (number(user, n, value)) {
		uid = static_cast<uid_t>(value);
	} else if (const passwd *pw = getpwnam(user)) {
		uid = pw->pw_uid;
	} else {
		return "no such user";
	}
	const char *group = colon + 1;
	if (number(group, strlen(group), value)) {
		gid = static_cast<gid_t>(value);
	} else if (const struct group *gr = getgrnam(group)) {
		gid = gr->gr_gid;
	} else {
		return "no such group";
	}
	return nullptr;
}

void owner_names(uid_t uid, gid_t gid, char *out, std::size_t size)
{
	const passwd *pw = getpwuid(uid);
	char user[24];
	snprintf(user, sizeof user, "%lu", static_cast<unsigned long>(uid));
	const char *u = pw != nullptr ? pw->pw_name : user;
	std::size_t used = static_cast<std::size_t>(snprintf(out, size, "%s:", u));
	const struct group *gr = getgrgid(gid);
	if (gr != nullptr)
		snprintf(out + used, size > used ? size - used : 0, "%s", gr->gr_name);
	else
		snprintf(out + used, size > used ? size - used : 0, "%lu", static_cast<unsigned long>(gid));
}
