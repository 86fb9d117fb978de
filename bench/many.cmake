# Write OUT, the list of a benchmark component of ROWS hard-link rows:
# l/<n> links to t/<n>.
set(rows "# Written by the benchmark: ${ROWS} hard links.\n")
math(EXPR last "${ROWS} - 1")
foreach(n RANGE ${last})
	string(APPEND rows "hardlink t/${n} l/${n}\n")
endforeach()
file(WRITE ${OUT} "${rows}")
