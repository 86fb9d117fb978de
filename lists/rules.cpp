#include "rules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <pthread.h>
#include <string_view>
#include <unordered_map>

#include "caps.h"
#include "kinds.h"
#include "owner.h"
#include "text.h"

// PATH_MAX, with its NUL: no path, target or link text may be as long.
static const std::size_t path_max = 4096;

// Go from at along p as the file system would: "." and empty components
// go, ".." climbs. False where p climbs out of the installation directory.
static bool walk(std::string &at, std::string_view p)
{
	while (!p.empty()) {
		std::size_t end = std::min(p.find('/'), p.size());
		std::string_view part = p.substr(0, end);
		if (part == "..") {
			if (at.empty())
				return false;
			std::size_t slash = at.rfind('/');
			at.erase(slash == std::string::npos ? 0 : slash);
		} else if (!part.empty() && part != ".") {
			if (!at.empty())
				at += '/';
			at += part;
		}
		p.remove_prefix(std::min(end + 1, p.size()));
	}
	return true;
}

static bool has_dotdot(std::string_view p)
{
	for (std::size_t at = 0; at <= p.size();) {
		std::size_t end = std::min(p.find('/', at), p.size());
		if (p.substr(at, end - at) == "..")
			return true;
		at = end + 1;
	}
	return false;
}

// Whether no component of p is empty, "." or "..": whether it leads where
// it reads, as most paths do.
static bool plain(std::string_view p)
{
	for (std::size_t at = 0; at <= p.size();) {
		std::size_t end = std::min(p.find('/', at), p.size());
		std::string_view part = p.substr(at, end - at);
		if (part.empty() || part == "." || part == "..")
			return false;
		at = end + 1;
	}
	return true;
}

static bool has_control(std::string_view p)
{
	return std::any_of(p.begin(), p.end(), [](char c) { return control_byte(static_cast<unsigned char>(c)); });
}

// What is wrong with a path or a target, in words.
struct place_words {
	const char *empty, *absolute, *too_long, *control, *leaves, *top, *dotdot, *through;
};
static const place_words path_words = {"path is empty", "path must be relative",
	"path is longer than PATH_MAX", "path holds a control character",
	"path leaves the installation directory", "path names the installation directory itself",
	"path has a .. component", "path passes through a symbolic link that a row makes"};
static const place_words target_words = {"target is empty", "target must be relative",
	"target is longer than PATH_MAX", "target holds a control character",
	"target leaves the installation directory", "target names the installation directory itself",
	"target has a .. component", "target passes through a symbolic link that a row makes"};

// Where the rows' paths, targets and link texts lead that do not lead
// where they read: copies gone through as the file system would, which
// keep their places as more come, so that views of them stay good.
using copies = std::deque<std::string>;

// The rule a path or a target breaks on its own, or nullptr; where it
// breaks none, at is where it leads: a view of p itself or of a copy.
static const char *place_rule(const char *p, const place_words &w, std::string_view &at, copies &c)
{
	if (p == nullptr || p[0] == '\0')
		return w.empty;
	if (p[0] == '/')
		return w.absolute;
	std::string_view s(p);
	if (s.size() >= path_max)
		return w.too_long;
	if (has_control(s))
		return w.control;
	if (plain(s)) {
		at = s;
		return nullptr;
	}
	std::string &led = c.emplace_back();
	if (!walk(led, s))
		return w.leaves;
	if (led.empty())
		return w.top;
	at = led;
	// Whatever the table checks, a symbolic link that is already in the
	// tree may stand where ".." climbs from.
	return has_dotdot(s) ? w.dotdot : nullptr;
}

// A row's own findings: its path, then its target, link text or mode.
struct place {
	std::string_view path, target;	// where each leads; target empty for a permission change
	bool off;			// a symbolic link's text that names nothing of ours
};

static const char *row_rule(const link_entry &e, place &at, copies &c)
{
	if (const char *r = place_rule(e.path, path_words, at.path, c))
		return r;
	at.target = {};
	at.off = true;
	switch (e.type) {
	case ENTRY_CHMOD:
		return (e.mode & ~mode_t{07777}) != 0 ? "mode has bits beyond 07777" : nullptr;
	case ENTRY_OWNER:
		if (reinterpret_cast<std::uintptr_t>(e.target) <= 07777 || !owner_sound(e.target))
			return "owner must be USER:GROUP, each a name or a number below 4294967295";
		return nullptr;
	case ENTRY_CAPS: {
		if (reinterpret_cast<std::uintptr_t>(e.target) <= 07777)
			return "capabilities must be text, such as cap_net_raw=ep";
		unsigned char bytes[caps_size];
		if (const char *r = caps_encode(e.target, bytes))
			return r;
		// The programs set and compare the bytes, the pages show the
		// text: they must agree.
		if (memcmp(caps_bytes(e), bytes, caps_size) != 0)
			return "capabilities: the attribute's bytes do not follow from the text";
		return nullptr;
	}
	case ENTRY_SYMLINK: {
		// A mode where a text belongs sets only the low bits of the
		// pointer; no string lies in the first page.
		if (reinterpret_cast<std::uintptr_t>(e.target) <= 07777)
			return e.target == nullptr ? "link text is empty" : "a link needs a target, not .mode";
		std::string_view text(e.target);
		if (text.empty())
			return "link text is empty";
		if (text.size() >= path_max)
			return "link text is longer than PATH_MAX";
		if (has_control(text))
			return "link text holds a control character";
		// The text is read from the directory that holds the link.
		if (text[0] != '/') {
			std::string &led = c.emplace_back(at.path);
			at.off = !walk(led, "..") || !walk(led, text);
			at.target = led;
		}
		return nullptr;
	}
	case ENTRY_HARDLINK:
	case ENTRY_CONDLINK:
		break;
	}
	// Unnamed codes are carried out as hard links, so hold them to that. A
	// hard link may fall back to cp, which would take a leading '-' for an
	// option.
	if (e.target != nullptr && reinterpret_cast<std::uintptr_t>(e.target) <= 07777)
		return "a link needs a target, not .mode";
	if (const char *r = place_rule(e.target, target_words, at.target, c))
		return r;
	at.off = false;
	if (e.path[0] == '-')
		return "path begins with a dash, which cp would take for an option";
	if (e.target[0] == '-')
		return "target begins with a dash, which cp would take for an option";
	return nullptr;
}

namespace {

// The rows that make each place, in table order.
// Places are views of the rows' own findings, which outlive the maps.
using makers = std::unordered_map<std::string_view, std::vector<std::size_t>>;

// The places that symbolic links of rows make, as a tree of path
// components, so that the directories a path passes through are looked up
// in one walk along it: the cost grows with its length, not with its depth
// times its length.
struct component {
	std::size_t parent;
	std::string_view name;
	bool operator==(const component &) const = default;
};
struct component_hash {
	std::size_t operator()(const component &c) const
	{
		return std::hash<std::string_view>()(c.name) * 31 + c.parent;
	}
};
struct link_tree {
	std::unordered_map<component, std::size_t, component_hash> child;	// node of each component
	std::vector<std::size_t> link{no_row};	// of each node: the first symbolic link made there
};

// Add the place p, made by the symbolic link of row j.
void add(link_tree &t, std::string_view p, std::size_t j)
{
	std::size_t node = 0;
	for (std::size_t at = 0; at <= p.size();) {
		std::size_t end = std::min(p.find('/', at), p.size());
		auto [it, added] = t.child.try_emplace({node, p.substr(at, end - at)}, t.link.size());
		if (added)
			t.link.push_back(no_row);
		node = it->second;
		at = end + 1;
	}
	t.link[node] = std::min(t.link[node], j);
}

// The symbolic link that a row makes on the way to p, if any.
std::size_t through(const link_tree &t, std::string_view p)
{
	std::size_t node = 0;
	for (std::size_t at = 0, end; (end = p.find('/', at)) != std::string_view::npos; at = end + 1) {
		auto it = t.child.find({node, p.substr(at, end - at)});
		if (it == t.child.end())
			return no_row;
		node = it->second;
		if (t.link[node] != no_row)
			return t.link[node];
	}
	return no_row;
}

// Do work(half, from, to) for the rows [0, n): as halves 0 and 1 side by
// side where there are rows enough to be worth a thread, else, or where no
// thread can be had, as half 0 alone.
template <typename Work>
void halves(std::size_t n, Work work)
{
	struct half {
		Work *work;
		std::size_t to;
	};
	const std::size_t worth = 16384;
	half first{&work, n / 2};
	auto run = [](void *h) -> void * {
		auto *f = static_cast<half *>(h);
		(*f->work)(0, 0, f->to);
		return nullptr;
	};
	pthread_t t;
	if (n < worth || pthread_create(&t, nullptr, run, &first) != 0) {
		work(0, 0, n);
		return;
	}
	work(1, n / 2, n);
	pthread_join(t, nullptr);
}

} // namespace

// The rule for rows that depend on each other: a symbolic link's text may
// name any row's path but its own; a hard or conditional link's target may
// be the path of an earlier hard or conditional link, but never its own
// path, a later row's path or a symbolic link's path; no two links share a
// path; nothing passes through a symbolic link that a row makes, nor is a
// permission change or capabilities given at one, since the link may lead
// anywhere; and no owner comes after the mode or capabilities of its path,
// which a change of owner would undo.
std::vector<finding> check(const link_entry *rows, std::size_t n)
{
	std::vector<finding> found;
	copies led[2];	// of each half
	std::vector<place> at(n);
	std::vector<const char *> broken(n);	// the rule each row breaks on its own, or nullptr
	makers made;
	std::unordered_map<std::string_view, std::size_t> modes;	// the first permission change of each place
	std::unordered_map<std::string_view, std::size_t> caps;	// the first capability row of each place
	// Room for each map's own rows only: a long list is mostly of one kind.
	std::size_t link_rows = 0, mode_rows = 0;
	for (std::size_t i = 0; i < n; i++) {
		const row_kind *k = kind_of(rows[i].type);
		link_rows += k == nullptr || k->link ? 1 : 0;
		mode_rows += rows[i].type == ENTRY_CHMOD ? 1 : 0;
	}
	made.reserve(link_rows);
	modes.reserve(mode_rows);
	link_tree links;
	halves(n, [&](int half, std::size_t from, std::size_t to) {
		for (std::size_t i = from; i < to; i++)
			broken[i] = row_rule(rows[i], at[i], led[half]);
	});
	for (std::size_t i = 0; i < n; i++) {
		if (broken[i] != nullptr) {
			found.push_back({i, broken[i], no_row});
			continue;
		}
		if (const row_kind *k = kind_of(rows[i].type); k == nullptr || k->link)
			made[at[i].path].push_back(i);
		if (rows[i].type == ENTRY_CHMOD)
			modes.try_emplace(at[i].path, i);
		if (rows[i].type == ENTRY_CAPS)
			caps.try_emplace(at[i].path, i);
		if (rows[i].type == ENTRY_SYMLINK)
			add(links, at[i].path, i);
	}
	// How the rows bear on each other, each half's findings apart.
	std::vector<finding> of_half[2];
	halves(n, [&](int half, std::size_t from, std::size_t to) {
		std::vector<finding> &out = of_half[half];
		auto say = [&](std::size_t i, const char *rule, std::size_t other = no_row) {
			out.push_back({i, rule, other});
		};
		// Rows in order of path come a directory at a time: the way to
		// one is looked up once for all its rows.
		std::string_view way;
		std::size_t way_link = no_row;
		bool looked = false;
		auto via = [&](std::string_view p) {
			std::size_t slash = p.rfind('/');
			if (slash == std::string_view::npos)
				return no_row;
			if (!looked || p.substr(0, slash + 1) != way) {
				way = p.substr(0, slash + 1);
				way_link = through(links, way);
				looked = true;
			}
			return way_link;
		};
		for (std::size_t i = from; i < to; i++) {
			if (broken[i] != nullptr)
				continue;
			const link_entry &e = rows[i];
			const place &p = at[i];
			if (std::size_t j = via(p.path); j != no_row) {
				say(i, path_words.through, j);
				continue;
			}
			if (e.type == ENTRY_OWNER) {
				// A change of owner clears the set-ID bits a permission
				// change before it set, and the capabilities.
				if (auto mode = modes.find(p.path); mode != modes.end() && mode->second < i)
					say(i, "owner given after a permission change of the path, whose set-ID bits it would clear",
					    mode->second);
				else if (auto cap = caps.find(p.path); cap != caps.end() && cap->second < i)
					say(i, "owner given after capabilities of the path, which a change of owner clears",
					    cap->second);
				continue;
			}
			auto here = made.find(p.path);
			if (e.type == ENTRY_CHMOD || e.type == ENTRY_CAPS) {
				if (here == made.end())
					continue;
				for (std::size_t j : here->second)
					if (rows[j].type == ENTRY_SYMLINK) {
						say(i, e.type == ENTRY_CHMOD
							       ? "permission change at a symbolic link's path, which chmod would follow"
							       : "capabilities at a symbolic link's path, which holds none",
						    j);
						break;
					}
				continue;
			}
			bool symbolic = e.type == ENTRY_SYMLINK;
			if (here->second.front() < i) {
				say(i, "path is made by an earlier row too", here->second.front());
				continue;
			}
			if (!p.off && p.target == p.path) {
				say(i, symbolic ? "link text names the link itself" : "target is the path itself");
				continue;
			}
			// Making a symbolic link never reads its text, but a hard link or
			// a copy reads its target, which must be there and must be what a
			// rerun finds again.
			if (symbolic)
				continue;
			if (std::size_t j = via(p.target); j != no_row) {
				say(i, target_words.through, j);
				continue;
			}
			auto there = made.find(p.target);
			if (there == made.end())
				continue;
			std::size_t later = no_row, symlink = no_row;
			for (std::size_t j : there->second) {
				if (j > i && later == no_row)
					later = j;
				if (j < i && rows[j].type == ENTRY_SYMLINK && symlink == no_row)
					symlink = j;
			}
			if (later != no_row)
				say(i, "target is made by a later row", later);
			else if (symlink != no_row)
				say(i, "target is made by a symbolic link", symlink);
		}
	});
	for (const std::vector<finding> &h : of_half)
		found.insert(found.end(), h.begin(), h.end());
	std::stable_sort(found.begin(), found.end(), [](const finding &a, const finding &b) { return a.row < b.row; });
	return found;
}
