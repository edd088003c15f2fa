// What only the Win32 face has: the code page of the paths the conversions are given.
#pragma once

// Paths are taken in this code page from now on: CP_ACP (the default, as the plug-in gets
// them from the A functions) or CP_UTF8 (gramconv.exe, whose names come from a wide main).
void PlatformSetPathCodePage(unsigned codePage);
unsigned PlatformPathCodePage();
