/* Reading the library's log files as a client or a test sees them: the
 * file beside a program, the lines written since a test began, the parts
 * of a line ("[date time] : ThreadID[n] : message"), the rotated files of a
 * log folder, and a fresh folder to point a log at. Plain C++ and, on
 * Windows, the real Win32 calls: built for every test program, mingw's
 * included. */
#ifndef KOVA_TESTS_SUPPORT_LOG_FILE_H
#define KOVA_TESTS_SUPPORT_LOG_FILE_H

#include <filesystem>
#include <ios>
#include <regex>
#include <string>
#include <vector>

namespace logfile {

namespace fs = std::filesystem;

/* "[date time] : ThreadID[n] : message": the time, the thread id and the
 * message are its three groups. */
const std::regex &LinePattern();
/* A rotated file's name, "KvoaDecoder-date-time.log"; the stamp is its group. */
const std::regex &RotatedPattern();

/* The message of a line, or "<malformed: ...>" when it is not a log line. */
std::string Message(const std::string &line);

/* The lines of a text file from byte `start` on; on Windows without the CR
 * that ends each line of a text file (elsewhere a CR is kept, to be seen). */
std::vector<std::string> ReadLines(const fs::path &file, std::streamoff start = 0);
/* The bytes of a file from `start` on, as text ("" when it is shorter). */
std::string TextFrom(const fs::path &file, std::streamoff start = 0);
/* The file's size: where the lines a test causes will begin. 0 when there
 * is no file yet. */
std::streamoff Size(const fs::path &file);

/* The messages of the log lines from `start` on, only those of the thread
 * `threadId` unless it is negative. Lines that are not log lines are passed
 * over: other processes write into the same file. */
std::vector<std::string> MessagesFrom(const fs::path &file, std::streamoff start, long long threadId = -1);

/* The file names in a folder, sorted; those of rotated log files. */
std::vector<std::string> Names(const fs::path &dir);
std::vector<std::string> RotatedNames(const fs::path &dir);

/* This program's file. */
fs::path ProgramPath();
/* The log the library writes beside `program`: log/KvoaDecoder.log in its
 * folder. */
fs::path LogBeside(const fs::path &program);

/* A new empty folder named after `stem` in the temporary folder, or an
 * empty path when it cannot be made. */
fs::path MakeTemporaryDirectory(const char *stem);

}  // namespace logfile

#endif
