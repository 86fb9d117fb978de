// Linked into the programs of a sanitizer build only. The programs allocate
// nothing, so LeakSanitizer has nothing to find, and it cannot run at all
// under ptrace, which fault-injection tests rely on.
// The sanitizer runtime looks this hook up by its reserved name.
extern "C" const char *__asan_default_options() // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
{
	return "detect_leaks=0";
}
