// Outside text (arguments, environment values, file names) as it may be written to a log line or a
// terminal: nothing in it can start a line of its own, move the cursor, send the terminal an escape
// sequence or make a tool take the log for a binary file.
#pragma once

#include <string>

namespace plat {

// Keep: a text of several lines (a log entry, a message) keeps its line breaks and tabs.
enum class LineBreaks { Escape, Keep };

// The text with "\n", "\r" and "\t" for those characters, "\xNN" for every other control character
// (C0, DEL and the C1 controls, byte by byte) and for every byte that starts no well-formed UTF-8
// sequence. Printable text, well-formed UTF-8 beyond ASCII among it, comes back unchanged.
std::string Printable(const std::string& text, LineBreaks breaks = LineBreaks::Escape);

}  // namespace plat
