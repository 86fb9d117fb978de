// The host tools, lslinks and linklist, use the standard library, but
// deliver with nothing but the C library: a failed allocation can only end
// the run, so the standard library's throws are replaced by an abort. With
// them goes the unwinder, which would make the dynamic loader a library of
// ours besides the C library.
#include <cstdint>
#include <cstdlib>
#include <functional>	// declares the hooks below, which these definitions replace
#include <new>
#include <string>
#include <sys/mman.h>

// A long list's tables take megabytes at a time, and the kernel fills each
// page on first touch: on a virtual machine a fault costs microseconds, so
// a table of several huge pages asks for them, where the system gives them
// on request, and costs a fault per 2 MiB rather than per 4 KiB.
static void ask_for_huge_pages(void *p, std::size_t n)
{
	const std::uintptr_t huge = std::uintptr_t{2} << 20;
	if (n < huge)
		return;
	auto at = reinterpret_cast<std::uintptr_t>(p);
	std::uintptr_t from = (at + huge - 1) & ~(huge - 1);
	std::uintptr_t to = (at + n) & ~(huge - 1);
	if (to > from)
		madvise(static_cast<char *>(p) + (from - at), to - from, MADV_HUGEPAGE);
}

void *operator new(std::size_t n)
{
	if (void *p = malloc(n != 0 ? n : 1)) {
		ask_for_huge_pages(p, n);
		return p;
	}
	abort();
}

void *operator new(std::size_t n, const std::nothrow_t & /*unused*/) noexcept
{
	return malloc(n != 0 ? n : 1);
}

void operator delete(void *p) noexcept
{
	free(p);
}

void operator delete(void *p, std::size_t /*n*/) noexcept
{
	free(p);
}

namespace std { // NOLINT(cert-dcl58-cpp): the library's own hooks for a build without exceptions

void __throw_bad_alloc()
{
	abort();
}

void __throw_bad_array_new_length()
{
	abort();
}

void __throw_bad_function_call()
{
	abort();
}

void __throw_length_error(const char * /*what*/)
{
	abort();
}

void __throw_logic_error(const char * /*what*/)
{
	abort();
}

void __throw_out_of_range_fmt(const char * /*what*/, ...)
{
	abort();
}

} // namespace std
