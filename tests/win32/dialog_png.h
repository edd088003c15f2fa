// Pictures of the plug-in's windows for people to look at: a window as it draws itself,
// written as a PNG file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Copies what the window shows, frame and caption included, and writes it to path as a PNG.
// False when the window could not be copied or the file written.
bool CaptureWindowPng(HWND window, const std::string& path);

// The same once the window and its children are painted: painting otherwise waits until the
// thread has nothing else to do.
bool CapturePaintedWindowPng(HWND window, const std::string& path);

// What a control draws of its client area when asked to print itself (WM_PRINTCLIENT), as
// 24-bit pixels, rows top-down, red, green, blue: whatever covers it on the screen. Empty
// when it could not be drawn. width and height get the client's size.
std::vector<unsigned char> PrintClientRgb(HWND window, int& width, int& height);

// Writes 24-bit pixels (rows top-down, red, green, blue) as an uncompressed PNG.
bool WritePng(const std::string& path, int width, int height, const unsigned char* rgb);
