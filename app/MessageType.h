#pragma once

// The numbered messages of the instrument. Each has a fixed text and button set
// (see MessageDlg.cpp).
enum MessageType {
    MSG_DEFAULT_PROTOCOL_LOCKED = 0,
    MSG_PROTOCOL_LOADED = 1,
    MSG_SERIAL_COMMUNICATION = 2,
    MSG_PROTOCOL_DELETE = 3,
    MSG_REPLACE_FILE = 4,
    MSG_CAMERA = 5,
    MSG_POWER_OFF = 6,
    MSG_CALIBRATION_FAILED = 7,
    MSG_EJECT_FAILED = 8,
    MSG_EXPORT_SUCCEEDED = 13,
    MSG_ERASE_ALL = 14,
    MSG_INSERT_USB = 15,
    MSG_INVALID_DATE = 19,
    MSG_INVALID_TIME = 20,
    MSG_CONNECTING = 23,
    MSG_DEMO_INSTALLED = 25,
    MSG_DEMO_FOUND = 26,
    MSG_UNACCEPTABLE_FOLDER_NAME = 27,
    MSG_DEBUG_AUTOFOCUS_ENABLED = 28,
    MSG_DEBUG_AUTOFOCUS_DISABLED = 29,
    MSG_DEBUG_CALIBRATION_ENABLED = 30,
    MSG_DEBUG_CALIBRATION_DISABLED = 31,
};

// The button sets of the message box.
enum MessageButtonVisibility {
    MSG_BUTTON_OK_CANCEL = 0,
    MSG_BUTTON_OK = 1,
    MSG_BUTTON_CANCEL = 2,
    MSG_BUTTON_NONE = 3,
    MSG_BUTTON_OK_SKIP_CANCEL = 4,
};

// What pressedType() tells.
enum MessagePressed {
    MSG_PRESSED_OK = 0,
    MSG_PRESSED_SKIP = 1,
    MSG_PRESSED_CANCEL = 2,
};
