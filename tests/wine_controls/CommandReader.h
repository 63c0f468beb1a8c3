#pragma once

#include <windows.h>

// Reads standard input line by line on a thread of its own and posts each
// line to the window as a command message (lParam: a std::string allocated
// with new, which the window deletes); at the end of the input it posts
// "quit". The thread ends with the input or with the process.
void StartCommandReader(HWND window, UINT commandMessage);
