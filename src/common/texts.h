// Every text the plug-in shows, as code page 932 (Shift_JIS) bytes, and through WideText()
// in UTF-16 for the wide API. texts.cpp holds them in readable UTF-8; the build converts that
// file's literals to both forms.
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
// A dropped or chosen name the system's ANSI code page cannot hold exactly.
extern const char kTextNameNotInCodePage[];
extern const char kTextChooserTitle[];
// The chooser's filter list: "display\0pattern\0\0".
extern const char kTextChooserFilter[];
extern const unsigned kTextChooserFilterBytes;

// The UTF-16 form of one of the texts above (same characters, same placeholders; the
// chooser's filter with its embedded terminators); null for any other string.
const char16_t* WideText(const char* text);
