// Every text the plug-in shows, as code page 932 (Shift_JIS) bytes. texts.cpp holds them
// in readable UTF-8; the build converts that file's literals to code page 932.
#pragma once

extern const char MessageCaption[];

// Export.
extern const char kTextExportConfirm[];     // %s: path
extern const char kTextOverwriteConfirm[];  // %s: path
extern const char kTextCreateFailed[];
extern const char kTextWriteFailed[];
extern const char kTextExportDone[];

// Import, in the order the file is checked.
extern const char kTextOpenFailed[];  // %s: path
extern const char kTextNotBitmap[];
extern const char kTextNoInfoHeader[];
extern const char kTextNot16Colour[];
extern const char kTextCompressed[];
extern const char kTextCanvasSize[];  // %d: width
extern const char kTextNoPalette[];
extern const char kTextNoPixels[];
extern const char kTextImportConfirm[];  // %s: path
extern const char kTextImportDone[];

// Both conversions.
extern const char kTextNoGram[];

// Converter dialog.
extern const char kTextNoPath[];
extern const char kTextPathTooLong[];
extern const char kTextChooserTitle[];
// The chooser's filter list: "display\0pattern\0\0".
extern const char kTextChooserFilter[];
extern const unsigned kTextChooserFilterBytes;
