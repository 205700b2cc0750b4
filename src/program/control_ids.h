// Names by which the main window and its controls can be found from outside
// (the end-to-end test driver): the window class and the control ids.
#pragma once

namespace program {

inline constexpr const char* kFlashFormClass = "TFlashForm";

inline constexpr int kIdSelectDriveLabel = 100;  // STATIC
inline constexpr int kIdComboBox1 = 101;         // COMBOBOX, drop-down list
inline constexpr int kIdFileListBox1 = 102;      // LISTBOX
inline constexpr int kIdGroupBox2 = 103;         // BUTTON, BS_GROUPBOX
inline constexpr int kIdProgressBar = 104;       // msctls_progress32
inline constexpr int kIdFlashButton = 105;       // BUTTON

}  // namespace program
