// Every text the add-on shows or hands to the terminal. The source is UTF-8; the build turns
// these literals into code-page-932 bytes (a test compares them byte for byte).
#pragma once

// "Quolix has not been started yet."
constexpr char kTextHostNotRunning[] = "Quolixがまだ起動されていません。";
// "internal error 1": the launcher window class could not be registered.
constexpr char kTextInternalError1[] = "QXLAUNCH.DLL: 内部エラー1";
// "internal error 2": the launcher window could not be created.
constexpr char kTextInternalError2[] = "QXLAUNCH.DLL: 内部エラー2";
// "Quolix Launch settings..." (the settings menu item).
constexpr char kTextSettingsItem[] = "Quolixランチの設定...";
// "Settings cannot be changed while online."
constexpr char kTextOnline[] = "オンライン中は設定できません。";
// "Quolix Launch V1.0 settings" (the sheet's title bar).
constexpr char kTextSheetCaption[] = "Quolixランチ V1.0 の設定";
// "Quolix must be restarted for the settings to take effect" (no closing full stop).
constexpr char kTextRestartNotice[] = "設定した内容を有効にするためにはQuolixを再起動する必要があります";
// "Quolix Launch" (caption of the restart notice).
constexpr char kTextRestartCaption[] = "Quolixランチ";
// "Please fill in the entries from the top, without gaps."
constexpr char kTextFillFromTop[] = "上に詰めて入力してください。";
// "Please specify both the title and the command line." (both pages)
constexpr char kTextBothFields[] = "タイトルとコマンドラインの両方を指定してください。";
// The help file, opened at its contents.
constexpr char kTextHelpFile[] = "QXLAUNCH.HLP";
// File dialog filter: "Programs" (half-width katakana) and "All files (*.*)".
constexpr char kTextProgramFilter[] = "ﾌﾟﾛｸﾞﾗﾑ\0*.exe;*.com\0すべてのﾌｧｲﾙ (*.*)\0*.*\0";
