// What the programs that carry a table write: lines of theirs with names
// from the table or the tree in them, every name escaped as quote does.
#pragma once

// Write a line to standard output, buffered, as the trace and the
// checker's findings go.
void say(const char *fmt, ...);

// Write a message to standard error at once, in one write, so that a
// message is never split by another process's.
void complain(const char *fmt, ...);

// Report a failed call as perror(3) does: the label, a colon, a blank and
// the text for errno.
void report(const char *label);
