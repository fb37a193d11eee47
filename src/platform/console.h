#pragma once
// The console the program draws on. Everything goes to standard output.
#include <string>

namespace korvane {

// When standard output is a console, text written to std::cout from here on
// reaches it through the console's wide API: the program's UTF-8 turned into
// UTF-16, whatever code page the console has (which is left as it is). A pipe
// or a file keeps getting the UTF-8 bytes. Does nothing where consoles take
// UTF-8 as it is.
void consoleUseWideText();

// Visible width of the console window as right column minus left column,
// or -1 when standard output is not a console (a pipe or a file).
int consoleVisibleWidth();

// Moves the cursor to the top-left corner; does nothing without a console.
void consoleHomeCursor();

// Sets the console window's title.
void consoleSetTitle(const std::string& title);

// Clears the console, the way the "cls" command does.
void consoleClear();

// Writes wide text (object names, paths, the service address) to standard
// output, after flushing what is pending on the narrow stream.
void consoleWriteWide(const std::wstring& text);

} // namespace korvane
