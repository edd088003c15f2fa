// Control identifiers of the converter dialog and the About box, shared by the resource
// script and the dialog procedures. Plain macros: the resource compiler reads this file too.
#pragma once

#define IDC_BROWSE 101
#define IDC_EXECUTE 102
#define IDC_ABOUT 103
#define IDC_PATH 201
#define IDC_GRAM_TO_BITMAP 401
#define IDC_BITMAP_TO_GRAM 402
#define IDC_RES320 403
#define IDC_RES640 404
#define IDC_OPERATION_GROUP 501
#define IDC_RESOLUTION_GROUP 502

// The predefined control classes, by the ordinals a dialog template stores for them (the
// resource compiler would keep a class given by name as text).
#define CLASS_BUTTON 0x0080
#define CLASS_EDIT 0x0081
#define CLASS_STATIC 0x0082
