// mklinks run against the fixture component, whose rows cover the
// conditional links, permission changes and unnamed type code that the
// delivered tables lack.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "harness.h"


namespace {

// The rows of the fixture's table, written in C++ and linked in.
const std::vector<link_entry> rows(link_table, link_table + link_table_size);

using enum way;

struct fixture_case {
	const char *name;
	void (*setup)(const fs::path &dir);
	way rows[7];		// how each row ends; none: the run stops there
	const char *err;
	int status;
	mode_t present_mode;	// of data/present afterwards, 0: not checked
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const fixture_case &c, std::ostream *os)
{
	*os << c.name;
}

void nothing(const fs::path &) {}

const fixture_case carries_out_every_kind_of_row_cases[] = {
	{"plain",
	 [](const fs::path &d) { spill(d / "links/cond-present", "old"); },
	 {hardlink, skip, symlink, hardlink, hardlink}, "", 0, 0640},
	{"skipped path survives",
	 [](const fs::path &d) { spill(d / "links/cond-absent", "old"); },
	 {hardlink, skip, symlink, hardlink, hardlink}, "", 0, 0640},
	{"conditional target present",
	 [](const fs::path &d) { spill(d / "data/absent", "here"); },
	 {hardlink, hardlink, symlink, hardlink, hardlink}, "", 0, 0640},
	// Probing a FIFO must not wait for a writer.
	{"target is a FIFO",
	 [](const fs::path &d) {
		 fs::remove(d / "data/present");
		 mkfifo((d / "data/present").c_str(), 0600);
	 },
	 {hardlink, skip, symlink, hardlink, hardlink}, "", 0, S_IFIFO | 0640},
	// A target that cannot be opened counts as present all the same.
	{"target cannot be opened",
	 [](const fs::path &d) {
		 fs::remove(d / "data/present");
		 fs::create_symlink("present", d / "data/present");
	 },
	 {hardlink, skip, symlink, hardlink, hardlink, none},
	 "could not chmod 640 \"data/present\": Too many levels of symbolic links\n", 1, 0},
	{"chmod path missing", [](const fs::path &d) { fs::remove(d / "data/tool"); },
	 {hardlink, skip, symlink, hardlink, hardlink, hardlink, none},
	 "could not chmod 751 \"data/tool\": No such file or directory\n", 1, 0640},
	// An empty directory at a path survives its removal and takes a copy.
	{"empty directories at paths",
	 [](const fs::path &d) {
		 fs::create_directory(d / "links/cond-present");
		 fs::create_directory(d / "links/hard");
	 },
	 {copy, skip, symlink, copy, hardlink}, "", 0, 0640},
	// The probe follows a symbolic link: a dangling one is absent.
	{"conditional target a dangling symbolic link",
	 [](const fs::path &d) { fs::create_symlink("nowhere", d / "data/absent"); },
	 {hardlink, skip, symlink, hardlink, hardlink}, "", 0, 0640},
	{"nothing to spoil", nothing, {hardlink, skip, symlink, hardlink, hardlink}, "", 0, 0640},
	// Not a directory is no missing target, as for the checker: the
	// row is tried, and cp says why it fails.
	{"conditional target under a regular file",
	 [](const fs::path &d) { fs::remove_all(d / "data"), spill(d / "data", "x"); },
	 {none}, "cp: cannot stat 'data/present': Not a directory\nchild exited with code 1\n", 1, 0},
};

class CarriesOutEveryKindOfRowCase : public testing::TestWithParam<fixture_case> {};

TEST_P(CarriesOutEveryKindOfRowCase, CarriesOutEveryKindOfRow)
{
	const fixture_case &c = GetParam();
	scratch s;
	lay(rows, s.dir);
	c.setup(s.dir);
	std::string skipped = slurp(s.dir / "links/cond-absent");

	outcome o = run(s.dir, program("tests/mklinks-fixture"), {{".", "-v"}});

	std::string want = "Verbose mode.\n";
	for (std::size_t i = 0; i < rows.size(); i++) {
		want += expect(rows[i], c.rows[i]);
		if (c.rows[i] == none)
			break;
	}
	EXPECT_EQ(o.out, want);
	EXPECT_EQ(o.err, c.err);
	EXPECT_EQ(o.status, c.status);

	for (std::size_t i = 0; i < rows.size() && c.rows[i] != none; i++) {
		if (rows[i].type != ENTRY_CHMOD && c.rows[i] != skip) {
			EXPECT_EQ(made(s.dir, rows[i]), c.rows[i]) << rows[i].path;
		}
	}
	if (c.rows[1] == skip) {
		EXPECT_EQ(slurp(s.dir / "links/cond-absent"), skipped);
	}
	struct stat st {};
	if (c.present_mode != 0 && stat((s.dir / "data/present").c_str(), &st) == 0) {
		EXPECT_EQ(st.st_mode & ~S_IFREG, c.present_mode);
	}
	if (c.status == 0) {
		EXPECT_EQ(fs::status(s.dir / "data/tool").permissions(), fs::perms(0751));
		// The checker agrees, but where cp had to copy into a
		// directory: the directory, not the link, is there.
		std::string wrong;
		for (std::size_t i = 0; i < rows.size(); i++)
			if (c.rows[i] == copy)
				wrong += complaint(rows[i], fault::other_file);
		outcome k = run(s.dir, program("tests/cklinks-fixture"), {{"."}});
		EXPECT_EQ(k.out, wrong);
		EXPECT_EQ(k.status, wrong.empty() ? 0 : 1);
	}
}

INSTANTIATE_TEST_SUITE_P(Fixture, CarriesOutEveryKindOfRowCase, testing::ValuesIn(carries_out_every_kind_of_row_cases),
			 [](const testing::TestParamInfo<fixture_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.name)); });

} // namespace
