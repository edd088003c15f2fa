// Every text Vantrel Fit shows, in UTF-8 (fit_texts.cpp is their readable source; the window
// converts them to UTF-16 for the wide API). %1, %2 ... are filled in by FillText.
#pragma once

#include <string>
#include <vector>

extern const char kFitTitle[];        // every box's caption
extern const char kFitWindowTitle[];  // the window's title
// Buttons and choices.
extern const char kFitOpen[];
extern const char kFitSave[];
extern const char kFitCancel[];
extern const char kFitClose[];
extern const char kFitResetTone[];
// The choices' labels (each with its access key).
extern const char kFitResolution[];
extern const char kFitDither[];
extern const char kFitFrame[];
extern const char kFitScreen[];
extern const char kFitBackground[];
extern const char kFitBrightness[];
extern const char kFitContrast[];
extern const char kFitSaturation[];
extern const char kFitAutoLevels[];
extern const char kFitDitherNone[];
extern const char kFitDitherOrdered[];
extern const char kFitDitherDiffusion[];
extern const char kFitDitherBest[];
extern const char kFitDitherBayer[];
// The framings, the screen's shapes and the background colours, as the lists show them.
extern const char kFitFrameWhole[];
extern const char kFitFrameFill[];
extern const char kFitFrameStretch[];
extern const char kFitFramePixel[];
extern const char kFitScreen16x10[];
extern const char kFitScreen4x3[];
extern const char kFitColourBlack[];
extern const char kFitColourBlue[];
extern const char kFitColourRed[];
extern const char kFitColourMagenta[];
extern const char kFitColourGreen[];
extern const char kFitColourCyan[];
extern const char kFitColourYellow[];
extern const char kFitColourWhite[];
extern const char kFitPreviewLabel[];   // above the preview: what GRAM shows
extern const char kFitOriginalLabel[];  // above the small picture: before the 8 colours
// The choosers.
extern const char kFitOpenTitle[];
extern const char kFitSaveTitle[];
extern const char kFitAllPictures[];     // the filter naming every format read
extern const char kFitThroughWindows[];  // formats read by the system's own decoders
extern const char kFitBitmapFiles[];
extern const char kFitAllFiles[];
// The status lines, and the empty preview's hint.
extern const char kFitStatusEmpty[];
extern const char kFitPreviewEmpty[];
extern const char kFitStatusReading[];    // %1 picture's name
extern const char kFitStatusReady[];      // %1 name, %2 WIDTHx200, %3 dither
extern const char kFitStatusSearching[];  // %1 name
extern const char kFitStatusSearchStopped[];
extern const char kFitStatusSaved[];       // %1 saved file's name, %2 its folder, %3 WIDTHx200
extern const char kFitStatusNotSaved[];    // %1 the file kept as it was
extern const char kFitStatusCancelled[];   // %1 name
extern const char kFitStatusRefused[];     // %1 name
extern const char kFitStatusSaveFailed[];  // %1 the file's name
// Boxes about pictures (%1 the picture's name).
extern const char kFitUnknownFormat[];
extern const char kFitCutShort[];
extern const char kFitDamaged[];
extern const char kFitTooLarge[];
extern const char kFitNoMemory[];
extern const char kFitOtherTrouble[];  // %2 the engine's English reason
// A format nothing here reads: %2 its name, %3 what would read it (one of the advices).
extern const char kFitUnreadFormat[];
extern const char kFitUnreadHeif[];
extern const char kFitUnreadAvif[];
extern const char kFitUnreadOther[];
extern const char kFitUnreadTiff[];
extern const char kFitUnreadDrawing[];
// Boxes about files (%1 the file's name or path).
extern const char kFitCannotOpen[];
extern const char kFitNotRegular[];
extern const char kFitFileTooLarge[];
extern const char kFitCannotRead[];
extern const char kFitCannotCreate[];
extern const char kFitCannotWrite[];
extern const char kFitAlreadyExists[];
extern const char kFitOverwrite[];
extern const char kFitNameTooLong[];
// The file in the user's application-data folder (under Vantrel) the choices are kept in.
extern const char kFitSettingsName[];

// text with %1, %2 ... replaced by args[0], args[1] ...; other % signs stay.
std::string FillText(const char* text, const std::vector<std::string>& args);
