// lslinks: write to standard output the list of every link under a staged
// tree, and of the permission bits an archive may drop, so that a
// component's links and modes can be made again by mklinks where the tree
// was shipped in a form that cannot carry them.
//
// usage: lslinks [-a | --all-modes] directory
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <new>
#include <sched.h>
#include <span>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "list.h"
#include "rules.h"
#include "kinds.h"
#include "options.h"
#include "caps.h"
#include "owner.h"
#include "quoted.h"

static std::atomic<bool> failed;

// Where a thread of the walk says what it has to say of an entry: into the
// text of the piece of the tree it is in, so that pieces walked side by
// side are told in the order of the tree; else straight to standard error.
static thread_local std::string *said;

static void tell(const std::string &text)
{
	if (said != nullptr)
		*said += text;
	else
		fputs(text.c_str(), stderr);
}

static void complain(const std::string &path, const std::string &what)
{
	tell("lslinks: " + quoted(path.empty() ? "." : path) + ": " + what + "\n");
	failed = true;
}

struct inode {
	dev_t dev;
	ino_t ino;
	bool operator==(const inode &) const = default;
};

struct inode_hash {
	std::size_t operator()(const inode &i) const
	{
		return std::hash<ino_t>()(i.ino) ^ (std::hash<dev_t>()(i.dev) << 1);
	}
};

// A regular file with several names: its mode, the names in the tree, and
// the most names it was seen to have.
struct file {
	mode_t mode;
	uid_t uid;
	gid_t gid;
	std::vector<std::string> names;
	nlink_t links = 0;
	std::string caps;	// as a capability row's field holds them, or empty
};

// What rows an entry gets besides its links, at the name a file keeps: an
// owner, a mode, capabilities, each where wanted.
struct settings {
	std::string path;
	bool own;
	uid_t uid;
	gid_t gid;
	mode_t mode;
	bool has_mode;
	std::string caps;		// as a capability row's field holds them, or empty
};

// What a walk finds: each thread of it its own, gathered once all are done.
struct found {
	std::unordered_map<inode, file, inode_hash> files;	// with several names
	std::vector<std::pair<std::string, std::string>> symlinks;	// path, text
	std::vector<settings> set_again;
};
static bool all_modes;
static uid_t top_uid;	// the stage's own owner, which every entry has but where a row says otherwise
static gid_t top_gid;

// The owner of an entry, as an owner row gives it: by name where the
// names make a sound row, else by number. Each owner is worked out once
// and kept, since a tree has few of them and many entries.
static std::unordered_map<std::uint64_t, std::string> owner_texts;

static const std::string *owner_text(uid_t uid, gid_t gid)
{
	auto [it, added] = owner_texts.try_emplace(std::uint64_t{uid} << 32 | gid);
	if (added) {
		const passwd *pw = getpwuid(uid);
		std::string user = pw != nullptr ? pw->pw_name : std::to_string(uid);
		const group *gr = getgrgid(gid);
		std::string text = user + ":" + (gr != nullptr ? gr->gr_name : std::to_string(gid));
		it->second = owner_sound(text.c_str()) ? text : std::to_string(uid) + ":" + std::to_string(gid);
	}
	return &it->second;
}

// Whether an entry's owner is worth a row: that of a set-ID or sticky one,
// whose bits mean nothing under another owner, one that differs from the
// stage's, or every one on request.
static bool owner_wanted(mode_t mode, uid_t uid, gid_t gid)
{
	return all_modes || (mode & 07000) != 0 || uid != top_uid || gid != top_gid;
}

// The permission bits worth a row: those that archives commonly drop, or
// all of them on request.
static bool wanted(mode_t mode)
{
	return all_modes || (mode & 07000) != 0;
}

static const char *kind(mode_t m)
{
	return S_ISFIFO(m) ? "a FIFO" : S_ISSOCK(m) ? "a socket" : S_ISCHR(m) ? "a character device" : "a block device";
}

// What a walk knows of a directory on the path it is in: its entries in
// order of name, the next one to look at, and where it is.
struct level {
	std::vector<std::string> entries;
	std::size_t next = 0;
	std::size_t path_length;	// of its path, in the walk's path
	dev_t dev;
	ino_t ino;
};

// The names in the directory open at fd, but "." and "..", in order of
// name so that what is said of them comes in the same order on any
// machine. False where the directory cannot be read to its end.
static bool entries(int fd, std::vector<std::string> &names)
{
	alignas(dirent64) char buf[32768];
	for (;;) {
		ssize_t n = getdents64(fd, buf, sizeof buf);
		if (n == -1)
			return false;
		if (n == 0)
			break;
		for (ssize_t at = 0; at < n;) {
			const auto *d = reinterpret_cast<const dirent64 *>(buf + at);
			if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0)
				names.emplace_back(d->d_name);
			at += d->d_reclen;
		}
	}
	std::sort(names.begin(), names.end());
	return true;
}

// The mount an entry is on: its mount id where the kernel tells it, which
// a bind mount changes too, else its device.
static unsigned long long mount_of(const struct statx &x)
{
	return (x.stx_mask & STATX_MNT_ID) != 0 ? x.stx_mnt_id : makedev(x.stx_dev_major, x.stx_dev_minor);
}

// Open the directory name in the directory at fd, which was seen as x, and
// read its entries into l. Returns the descriptor, or -1 having said why.
static int enter(int fd, const char *name, const std::string &path, const struct statx &x, level &l)
{
	int sub = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
	struct stat st;
	if (sub == -1) {
		complain(path, errno == ENOENT || errno == ENOTDIR ? std::string("changed while it was listed")
								    : std::string("cannot read the directory: ") + strerror(errno));
		return -1;
	}
	if (fstat(sub, &st) == -1 || st.st_dev != makedev(x.stx_dev_major, x.stx_dev_minor) || st.st_ino != x.stx_ino) {
		complain(path, "changed while it was listed");
		close(sub);
		return -1;
	}
	l.dev = st.st_dev;
	l.ino = st.st_ino;
	if (!entries(sub, l.entries)) {
		complain(path, std::string("cannot read the directory: ") + strerror(errno));
		close(sub);
		return -1;
	}
	return sub;
}

// The file capabilities of a regular file, as a capability row's field
// holds them, or empty where it has none. Capabilities kept in a form not
// known here are refused, never passed over.
static std::string capabilities(const char *at, const std::string &path)
{
	unsigned char data[64];
	ssize_t n = lgetxattr(at, "security.capability", data, sizeof data);
	if (n == -1) {
		if (errno != ENODATA && errno != ENOTSUP)
			complain(path, std::string("cannot read its capabilities: ") + strerror(errno));
		return "";
	}
	std::string field = caps_field(caps_text(data, static_cast<std::size_t>(n)));
	if (field.empty())
		complain(path, "cannot be listed: its capabilities are kept in a form not known here");
	return field;
}

// The directory the walk is in changes with every step down or up; the
// working directory follows it only where an attribute is to be read, by
// its name there, which costs the kernel one lookup rather than a walk
// through /proc.
static thread_local unsigned long moved;	// how often the walk changed directory
static thread_local unsigned long followed;	// the last of those the working directory followed

static bool stand_in(int fd, const std::string &path)
{
	if (followed == moved)
		return true;
	if (fchdir(fd) == -1) {
		complain(path, std::string("cannot read its attributes: ") + strerror(errno));
		return false;
	}
	followed = moved;
	return true;
}

// The capabilities of an executable file, as a row carries them, and with
// -a those of any regular file; with -a, every other extended attribute of
// any entry (access control lists, user attributes, security labels) is
// named on standard error as not carried: the archive must keep it. A name
// that cannot be read is refused, never passed over.
static std::string attributes(int fd, const std::string &name, const std::string &path, const struct statx &x)
{
	bool regular = S_ISREG(x.stx_mode);
	if (!all_modes && !(regular && (x.stx_mode & 0111) != 0))
		return "";
	if (!stand_in(fd, path))
		return "";
	const char *at = name.c_str();
	if (!all_modes)
		return capabilities(at, path);
	// Most entries have no attributes, and asked for their size alone the
	// kernel need not set aside room for the most it could list.
	static thread_local char names[65536];	// the most the kernel lists
	ssize_t n = llistxattr(at, nullptr, 0);
	if (n > 0)
		n = llistxattr(at, names, sizeof names);
	if (n == -1) {
		if (errno != ENOTSUP)
			complain(path, std::string("cannot read its attributes: ") + strerror(errno));
		return "";
	}
	std::string caps;
	for (ssize_t i = 0; i < n; i += static_cast<ssize_t>(strlen(names + i)) + 1) {
		const char *attribute = names + i;
		if (regular && strcmp(attribute, "security.capability") == 0)
			caps = capabilities(at, path);
		else
			tell("lslinks: warning: not carried: " + quoted(path) + ": " + quoted(attribute) + "\n");
	}
	return caps;
}

// Look at one entry of the directory at fd: a regular file for its names
// and mode, a special file for its names, a symbolic link for its text, a
// directory for its mode, and whether it lies on the tree's own mount.
// Returns whether it is a directory to walk into.
static bool look(int fd, const std::string &name, const std::string &path, unsigned long long mount,
		 struct statx &x, found &out)
{
	unsigned mask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_MNT_ID | STATX_UID | STATX_GID;
	if (statx(fd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &x) == -1) {
		// Listed by its directory but gone when looked at, it moved.
		complain(path, errno == ENOENT ? "changed while it was listed" : strerror(errno));
		return false;
	}
	// Names on two mounts are no hard links, and a bind mount of a
	// directory of the tree would have rmlinks remove a file's only copy.
	if (mount_of(x) != mount) {
		complain(path, "another file system is mounted here; a staged tree must be one");
		return false;
	}
	std::string caps = attributes(fd, name, path, x);
	mode_t mode = x.stx_mode & 07777;
	// A file with several names gets its rows at the name it keeps, once
	// all are known; a special file gets none.
	if (S_ISDIR(x.stx_mode) || S_ISLNK(x.stx_mode) || (S_ISREG(x.stx_mode) && x.stx_nlink == 1)) {
		bool own = owner_wanted(x.stx_mode, x.stx_uid, x.stx_gid), has_mode = !S_ISLNK(x.stx_mode) && wanted(mode);
		if (own || has_mode || !caps.empty())
			out.set_again.push_back({path, own, x.stx_uid, x.stx_gid, mode, has_mode, caps});
	}
	if (S_ISDIR(x.stx_mode))
		return true;
	if (S_ISLNK(x.stx_mode)) {
		char text[PATH_MAX + 1];
		ssize_t n = readlinkat(fd, name.c_str(), text, sizeof text);
		if (n == -1)
			complain(path, strerror(errno));
		else
			out.symlinks.emplace_back(path, std::string(text, static_cast<std::size_t>(n)));
	} else if (S_ISREG(x.stx_mode) && x.stx_nlink > 1) {
		file &f = out.files[{makedev(x.stx_dev_major, x.stx_dev_minor), x.stx_ino}];
		f.mode = mode;
		f.uid = x.stx_uid;
		f.gid = x.stx_gid;
		f.names.push_back(path);
		f.links = std::max<nlink_t>(f.links, x.stx_nlink);
		f.caps = caps;
	} else if (!S_ISREG(x.stx_mode) && x.stx_nlink > 1) {
		tell("lslinks: warning: not listed: " + quoted(path) + ", " + kind(x.stx_mode) + " with " +
		     std::to_string(x.stx_nlink) + " names\n");
	}
	return false;
}

// Go down from fd, the directory at path, through the entries of the
// levels given, opening nothing but directories and following no symbolic
// link, and climb back through "..", checking that it is the directory the
// walk came from, so that neither descriptors nor the stack grow with the
// depth of the tree. Returns the descriptor of the first level's directory,
// having closed the others, or -1 where the way back changed.
static int descend(int fd, std::string path, std::vector<level> &path_to, unsigned long long mount, found &out)
{
	struct statx x;
	while (!path_to.empty()) {
		level &l = path_to.back();
		if (l.next == l.entries.size()) {
			if (path_to.size() == 1)
				break;
			path_to.pop_back();
			path.resize(path_to.back().path_length);
			int up = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
			struct stat st;
			if (up == -1 || fstat(up, &st) == -1 || st.st_dev != path_to.back().dev ||
			    st.st_ino != path_to.back().ino) {
				complain(path, "changed while it was listed");
				if (up != -1)
					close(up);
				close(fd);
				return -1;
			}
			close(fd);
			fd = up;
			moved++;
			continue;
		}
		const std::string &name = l.entries[l.next++];
		std::string here = path;
		if (!here.empty())
			here += '/';
		here += name;
		if (!look(fd, name, here, mount, x, out))
			continue;
		level sub;
		int down = enter(fd, name.c_str(), here, x, sub);
		if (down == -1)
			continue;
		sub.path_length = here.size();
		path = std::move(here);
		path_to.push_back(std::move(sub));
		close(fd);
		fd = down;
		moved++;
	}
	return fd;
}

// A piece of the tree that one thread walks whole: an entry, with all
// beneath it, of a directory listed before the pieces were dealt out, and
// what is said of them.
struct piece {
	std::string dir;	// the path of the directory it is in, empty at the top
	dev_t dev;		// that directory's, as it was listed
	ino_t ino;
	std::string name;	// its entry there, or empty once it was walked
	std::string said;
};

// A thread of the walk: where it stands, and what it found.
struct walker {
	int top;
	unsigned long long mount;
	int fd = -1;		// the directory a piece is in
	std::string at;		// its path
	found out;
};

// Stand the walker in the directory the piece is in: open it anew from the
// top, a component at a time and through no link, and check that it is
// still the directory that was listed there.
static bool reach(walker &w, const piece &p, const std::string &path)
{
	if (w.fd != -1 && w.at == p.dir)
		return true;
	if (w.fd != -1)
		close(w.fd);
	w.at = p.dir;
	w.fd = fcntl(w.top, F_DUPFD_CLOEXEC, 0);
	for (std::size_t at = 0; w.fd != -1 && at < p.dir.size();) {
		std::size_t end = std::min(p.dir.find('/', at), p.dir.size());
		int sub = openat(w.fd, p.dir.substr(at, end - at).c_str(),
				 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
		close(w.fd);
		w.fd = sub;
		at = end + 1;
	}
	struct stat st;
	if (w.fd != -1 && (fstat(w.fd, &st) == -1 || st.st_dev != p.dev || st.st_ino != p.ino)) {
		close(w.fd);
		w.fd = -1;
		errno = ENOENT;
	}
	if (w.fd == -1) {
		complain(path, errno == ENOENT || errno == ENOTDIR || errno == ELOOP
				       ? std::string("changed while it was listed")
				       : std::string("cannot read the directory: ") + strerror(errno));
		return false;
	}
	moved++;
	return true;
}

static std::string path_of(const piece &p)
{
	return p.dir.empty() ? p.name : p.dir + "/" + p.name;
}

// Walk a piece whole.
static void take(walker &w, piece &p)
{
	said = &p.said;
	std::string path = path_of(p);
	if (reach(w, p, path)) {
		std::vector<level> path_to(1);
		path_to[0].entries.push_back(std::move(p.name));
		path_to[0].path_length = p.dir.size();
		path_to[0].dev = p.dev;
		path_to[0].ino = p.ino;
		w.fd = descend(w.fd, p.dir, path_to, w.mount, w.out);
	}
	p.name.clear();
	said = nullptr;
}

// Look at a piece's entry alone and, where it is a directory, deal its
// entries out as pieces of their own.
static void open_up(walker &w, piece &p, std::vector<piece> &parts)
{
	said = &p.said;
	std::string path = path_of(p);
	struct statx x;
	level sub;
	if (reach(w, p, path) && look(w.fd, p.name, path, w.mount, x, w.out)) {
		int down = enter(w.fd, p.name.c_str(), path, x, sub);
		if (down != -1) {
			close(down);
			for (std::string &name : sub.entries)
				parts.push_back({path, sub.dev, sub.ino, std::move(name), ""});
		}
	}
	p.name.clear();
	said = nullptr;
}

static std::vector<piece> pieces;
static std::atomic<std::size_t> next_piece;

static bool by_path(const settings &a, const settings &b)
{
	return strcmp(a.path.c_str(), b.path.c_str()) < 0;
}

// Take pieces until none are left; then sort what was found by path, each
// thread its own, so that the threads' finds are merged in one pass.
static void take_pieces(walker &w)
{
	for (std::size_t i; (i = next_piece++) < pieces.size();)
		if (!pieces[i].name.empty())
			take(w, pieces[i]);
	if (w.fd != -1)
		close(w.fd);
	w.fd = -1;
	std::sort(w.out.set_again.begin(), w.out.set_again.end(), by_path);
}

static void *help(void *arg)
{
	// Each thread stands in the directories it reads attributes in, which
	// the others must not move it out of.
	if (unshare(CLONE_FS) == 0)
		take_pieces(*static_cast<walker *>(arg));
	return nullptr;
}

// Walk the tree at top. Its first levels are listed here, until there are
// pieces enough to deal out to a thread for each core; the threads take
// them in turn, each whole, and what they found is gathered. A small tree
// is walked by this thread alone.
static std::vector<found> walk(int top)
{
	const std::size_t enough = 64;
	const int levels = 4;
	struct statx x;
	if (statx(top, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID | STATX_UID | STATX_GID, &x) == -1) {
		complain("", strerror(errno));
		close(top);
		return std::vector<found>(1);
	}
	top_uid = x.stx_uid;
	top_gid = x.stx_gid;
	level first;
	if (!entries(top, first.entries))
		complain("", std::string("cannot read the directory: ") + strerror(errno));
	for (std::string &name : first.entries)
		pieces.push_back({"", makedev(x.stx_dev_major, x.stx_dev_minor), x.stx_ino, std::move(name), ""});
	cpu_set_t set;
	int cores = std::clamp(sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1, 1, 4);
	std::vector<walker> walkers(static_cast<std::size_t>(cores));
	for (walker &w : walkers) {
		w.top = top;
		w.mount = mount_of(x);
	}
	for (int round = 0; cores > 1 && round < levels && pieces.size() < enough; round++) {
		std::vector<piece> parts, more;
		for (piece &p : pieces) {
			bool whole = p.name.empty();
			parts.push_back(std::move(p));
			if (whole)
				continue;
			open_up(walkers[0], parts.back(), more);
			std::move(more.begin(), more.end(), std::back_inserter(parts));
			more.clear();
		}
		pieces = std::move(parts);
	}
	std::size_t left = static_cast<std::size_t>(
		std::count_if(pieces.begin(), pieces.end(), [](const piece &p) { return !p.name.empty(); }));
	std::vector<pthread_t> threads;
	for (std::size_t i = 1; left >= enough && i < walkers.size(); i++)
		if (pthread_t t; pthread_create(&t, nullptr, help, &walkers[i]) == 0)
			threads.push_back(t);
	take_pieces(walkers[0]);
	for (pthread_t t : threads)
		pthread_join(t, nullptr);
	close(top);
	for (const piece &p : pieces)
		fputs(p.said.c_str(), stderr);

	// The links are gathered into the first walker's finds, where a file
	// met in two pieces has its names in both; the settings stay with each,
	// in order of path.
	std::vector<found> finds;
	finds.reserve(walkers.size());
	for (walker &w : walkers)
		finds.push_back(std::move(w.out));
	found &all = finds[0];
	for (std::size_t i = 1; i < finds.size(); i++) {
		found &o = finds[i];
		std::move(o.symlinks.begin(), o.symlinks.end(), std::back_inserter(all.symlinks));
		for (auto &[id, f] : o.files) {
			auto [it, added] = all.files.try_emplace(id, std::move(f));
			if (added)
				continue;
			file &g = it->second;
			std::move(f.names.begin(), f.names.end(), std::back_inserter(g.names));
			g.links = std::max(g.links, f.links);
		}
	}
	return finds;
}

// The digits in the last component of a path: a versioned name holds more
// than its aliases.
static std::size_t digits(const std::string &p)
{
	return static_cast<std::size_t>(std::count_if(p.begin() + static_cast<std::ptrdiff_t>(p.rfind('/') + 1), p.end(),
					  [](char c) { return c >= '0' && c <= '9'; }));
}

// The name of a file that its other names are made hard links to: the one
// whose own name holds the most digits, then the one in the fewest
// directories, then the first byte by byte.
static bool better(const std::string &a, const std::string &b)
{
	std::size_t da = digits(a), db = digits(b);
	if (da != db)
		return da > db;
	auto depth = [](const std::string &p) { return std::count(p.begin(), p.end(), '/'); };
	if (depth(a) != depth(b))
		return depth(a) < depth(b);
	return a < b;
}

// The settings of several runs, each in order of path, all in order of
// path.
static std::vector<const settings *> in_order(std::vector<std::span<const settings>> runs)
{
	std::vector<const settings *> order;
	for (;;) {
		std::span<const settings> *first = nullptr;
		for (std::span<const settings> &r : runs)
			if (!r.empty() && (first == nullptr || by_path(r.front(), first->front())))
				first = &r;
		if (first == nullptr)
			return order;
		order.push_back(&first->front());
		*first = first->subspan(1);
	}
}

static const char usage[] = "usage: %s [-a | --all-modes] directory\n";

int main(int argc, char *argv[])
{
	int arg = 1;
	if (argc == 2) {
		int status = answer_standard(argv[1], "lslinks", "lslinks", usage,
					     "Write the list of the links under directory, and of the set-user-ID,\n"
					     "set-group-ID and sticky bits there, for a component's mklinks.\n\n"
					     "  -a, --all-modes  a permission row for every regular file and directory\n"
					     "      --help       show this and exit\n"
					     "      --version    show the version and exit\n",
					     1);
		if (status != -1)
			return status;
	}
	if (argc == 3 && (strcmp(argv[1], "-a") == 0 || strcmp(argv[1], "--all-modes") == 0)) {
		all_modes = true;
		arg = 2;
	}
	if (argc != arg + 1) {
		fprintf(stderr, usage, "lslinks");
		return 2;
	}
	int top = open(argv[arg], O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
	if (top == -1) {
		fprintf(stderr, "lslinks: %s: %s\n", quoted(argv[arg]).c_str(), strerror(errno));
		return 1;
	}
	std::vector<found> finds = walk(top);
	found &all = finds[0];

	// The links, each row pointing into the names gathered above, sorted by
	// path; then the owners, the modes and the capabilities, at the names
	// files keep, by path too: a change of owner would clear the set-ID
	// bits and the capabilities.
	std::vector<link_entry> rows;
	std::vector<settings> kept;	// at the names that files with several keep
	rows.reserve(all.symlinks.size());
	for (const auto &[path, text] : all.symlinks)
		rows.push_back({ENTRY_SYMLINK, {text.c_str()}, path.c_str()});
	for (auto &[id, f] : all.files) {
		std::sort(f.names.begin(), f.names.end(), better);
		// A file met under more names than it has was moved while the
		// walk went on; a list with the name it left would have rmlinks
		// remove the file's last.
		if (f.names.size() > f.links) {
			for (const std::string &name : f.names)
				complain(name, "changed while it was listed");
			continue;
		}
		for (std::size_t i = 1; i < f.names.size(); i++)
			rows.push_back({ENTRY_HARDLINK, {f.names[0].c_str()}, f.names[i].c_str()});
		bool own = owner_wanted(f.mode, f.uid, f.gid);
		if (own || wanted(f.mode) || !f.caps.empty())
			kept.push_back({f.names[0], own, f.uid, f.gid, f.mode, wanted(f.mode), f.caps});
	}
	std::sort(rows.begin(), rows.end(), [](const link_entry &a, const link_entry &b) { return strcmp(a.path, b.path) < 0; });
	// The settings, each thread's already in order of path, merged once
	// for all three kinds of rows.
	std::sort(kept.begin(), kept.end(), by_path);
	std::vector<std::span<const settings>> runs{kept};
	for (const found &f : finds)
		runs.emplace_back(f.set_again);
	std::vector<const settings *> order = in_order(runs);
	rows.reserve(rows.size() + 3 * order.size());
	for (const settings *e : order)
		if (e->own)
			rows.push_back({ENTRY_OWNER, {owner_text(e->uid, e->gid)->c_str()}, e->path.c_str()});
	for (const settings *e : order)
		if (e->has_mode)
			rows.push_back({ENTRY_CHMOD, {.mode = e->mode}, e->path.c_str()});
	for (const settings *e : order)
		if (!e->caps.empty())
			rows.push_back({ENTRY_CAPS, {e->caps.c_str()}, e->path.c_str()});

	// What the build would refuse is refused here, never dropped.
	for (const finding &f : check(rows.data(), rows.size())) {
		const link_entry &e = rows[f.row];
		std::string what = "cannot be listed: " + f.rule;
		if (kind_or_hardlink(e.type).link)
			what += " (" + quoted(e.target) + ")";
		complain(e.path, what);
	}
	if (failed)
		return 1;
	// Written a block of rows at a time, so that a tree of any size
	// costs the list's text no more memory than a block's.
	fputs("# Written by lslinks: the links of a tree by path, then the owners, modes and capabilities to set "
	      "again.\n", stdout);
	const std::size_t block = 4096;
	std::string list;
	for (std::size_t at = 0; at < rows.size(); at += block) {
		write_rows(list, std::span(rows).subspan(at, std::min(block, rows.size() - at)));
		fwrite(list.data(), 1, list.size(), stdout);
		list.clear();
	}
	return fflush(stdout) == 0 && ferror(stdout) == 0 ? 0 : 1;
}
