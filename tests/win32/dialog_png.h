// Pictures of the plug-in's windows for people to look at: a window as it draws itself,
// written as a PNG file.
#pragma once

#include <windows.h>

#include <string>

// Copies what the window shows, frame and caption included, and writes it to path as a PNG.
// False when the window could not be copied or the file written.
bool CaptureWindowPng(HWND window, const std::string& path);

// The same once the window and its children are painted: painting otherwise waits until the
// thread has nothing else to do.
bool CapturePaintedWindowPng(HWND window, const std::string& path);

// Writes 24-bit pixels (rows top-down, red, green, blue) as an uncompressed PNG.
bool WritePng(const std::string& path, int width, int height, const unsigned char* rgb);
