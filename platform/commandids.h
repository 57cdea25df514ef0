// Menu, toolbar and accelerator command ids.
#pragma once

namespace nimbrel::cmd {

// File
inline constexpr int kFileNew = 24331;
inline constexpr int kFileOpen = 24332;
inline constexpr int kFileSave = 24333;
inline constexpr int kPreferences = 24334;
inline constexpr int kFileSaveAs = 5030;
inline constexpr int kPrintConfig = 5034;
inline constexpr int kPrintPreview = 32001; // beyond the original menu
inline constexpr int kExit = 24310;
inline constexpr int kMruFirst = 31990; // 31990 .. 31993
// View
inline constexpr int kViewSimple = 5037;
inline constexpr int kViewMemoryMap = 32005; // beyond the original menu
// Sensor configuration
inline constexpr int kModifySensor = 30004;
inline constexpr int kDeleteItem = 30002;
inline constexpr int kAddItem = 30000;
inline constexpr int kAddSensor = 30001;
inline constexpr int kAddSerial = 5024;
inline constexpr int kAddTransmitter = 5007;
inline constexpr int kAddGps = 5008;
// PTT Communications
inline constexpr int kStart = 5004;
inline constexpr int kPttVersion = 5032;
inline constexpr int kReadConfig = 5033;
inline constexpr int kSendConfig = 5009;
inline constexpr int kStop = 5003;
inline constexpr int kCompare = 32002; // beyond the original menu
inline constexpr int kHistory = 32003;      // beyond the original menu
inline constexpr int kProgramFleet = 32004; // beyond the original menu
// Terminal
inline constexpr int kOpenTerminal = 5000;
inline constexpr int kReadMemory = 5027;
inline constexpr int kSendString = 5002;
inline constexpr int kSendFile = 5035;
inline constexpr int kUserCommand = 11842;
inline constexpr int kSendProgram = 5005;
inline constexpr int kLog = 5010;
inline constexpr int kLogClose = 5031;
// Password
inline constexpr int kEnterPassword = 5001;
// Window
inline constexpr int kCascade = 24361;
inline constexpr int kTile = 24362;
inline constexpr int kArrangeIcons = 24364;
inline constexpr int kCloseAll = 24365;
// Help
inline constexpr int kHelpMain = 18874;
inline constexpr int kHelpAbout = 2009;
// Edit commands of the focused text edit
inline constexpr int kEditUndo = 24321;
inline constexpr int kEditCut = 24322;
inline constexpr int kEditCopy = 24323;
inline constexpr int kEditPaste = 24324;
inline constexpr int kEditClear = 24326;
inline constexpr int kFindNext = 24353;

} // namespace nimbrel::cmd
