// Every text the add-on shows or hands to the terminal: its readable form, then the
// code-page-932 bytes the add-on holds, written out so that every compiler stores the same bytes
// (clang takes no execution character set but UTF-8). A unit test converts each readable form
// and compares it with the bytes.
#pragma once

// The add-on keeps the bytes; the test defines QX_TEXT to see both forms.
#ifndef QX_TEXT
#define QX_TEXT(name, readable, bytes) constexpr char name[] = bytes
#endif

// "Quolix has not been started yet."
QX_TEXT(kTextHostNotRunning, "Quolixがまだ起動されていません。",
        "Quolix\x82\xaa\x82\xdc\x82\xbe\x8b\x4e\x93\xae\x82\xb3\x82\xea\x82\xc4\x82\xa2"
        "\x82\xdc\x82\xb9\x82\xf1\x81\x42");
// "internal error 1": the launcher window class could not be registered.
QX_TEXT(kTextInternalError1, "QXLAUNCH.DLL: 内部エラー1",
        "QXLAUNCH.DLL: \x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b" "1");
// "internal error 2": the launcher window could not be created.
QX_TEXT(kTextInternalError2, "QXLAUNCH.DLL: 内部エラー2",
        "QXLAUNCH.DLL: \x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b" "2");
// "Quolix Launch settings..." (the settings menu item).
QX_TEXT(kTextSettingsItem, "Quolixランチの設定...",
        "Quolix\x83\x89\x83\x93\x83\x60\x82\xcc\x90\xdd\x92\xe8...");
// "Settings cannot be changed while online."
QX_TEXT(kTextOnline, "オンライン中は設定できません。",
        "\x83\x49\x83\x93\x83\x89\x83\x43\x83\x93\x92\x86\x82\xcd\x90\xdd\x92\xe8\x82\xc5"
        "\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42");
// "Quolix Launch V1.0 settings" (the sheet's title bar).
QX_TEXT(kTextSheetCaption, "Quolixランチ V1.0 の設定",
        "Quolix\x83\x89\x83\x93\x83\x60 V1.0 \x82\xcc\x90\xdd\x92\xe8");
// "The settings could not be saved." (the changes hold until the terminal ends)
QX_TEXT(kTextSaveFailed, "設定を保存できませんでした。",
        "\x90\xdd\x92\xe8\x82\xf0\x95\xdb\x91\xb6\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1"
        "\x82\xc5\x82\xb5\x82\xbd\x81\x42");
// "Quolix must be restarted for the settings to take effect" (no closing full stop).
QX_TEXT(kTextRestartNotice, "設定した内容を有効にするためにはQuolixを再起動する必要があります",
        "\x90\xdd\x92\xe8\x82\xb5\x82\xbd\x93\xe0\x97\x65\x82\xf0\x97\x4c\x8c\xf8\x82\xc9"
        "\x82\xb7\x82\xe9\x82\xbd\x82\xdf\x82\xc9\x82\xcdQuolix\x82\xf0\x8d\xc4\x8b\x4e"
        "\x93\xae\x82\xb7\x82\xe9\x95\x4b\x97\x76\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7");
// "Quolix Launch" (caption of the restart notice and of the box for a sheet open elsewhere).
QX_TEXT(kTextLaunchCaption, "Quolixランチ", "Quolix\x83\x89\x83\x93\x83\x60");
// "Another Quolix has its settings sheet open. Close that sheet, then open the settings again."
// (caption "Quolix Launch")
QX_TEXT(kTextSheetOpenElsewhere,
        "ほかのQuolixで設定画面が開いています。その設定画面を閉じてから、もう一度開いてください。",
        "\x82\xd9\x82\xa9\x82\xccQuolix\x82\xc5\x90\xdd\x92\xe8\x89\xe6\x96\xca\x82\xaa\x8a\x4a"
        "\x82\xa2\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x82\xbb\x82\xcc\x90\xdd\x92\xe8\x89\xe6"
        "\x96\xca\x82\xf0\x95\xc2\x82\xb6\x82\xc4\x82\xa9\x82\xe7\x81\x41\x82\xe0\x82\xa4\x88\xea"
        "\x93\x78\x8a\x4a\x82\xa2\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42");
// "Please fill in the entries from the top, without gaps."
QX_TEXT(kTextFillFromTop, "上に詰めて入力してください。",
        "\x8f\xe3\x82\xc9\x8b\x6c\x82\xdf\x82\xc4\x93\xfc\x97\xcd\x82\xb5\x82\xc4\x82\xad"
        "\x82\xbe\x82\xb3\x82\xa2\x81\x42");
// "Please specify both the title and the command line." (both pages)
QX_TEXT(kTextBothFields, "タイトルとコマンドラインの両方を指定してください。",
        "\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xc6\x83\x52\x83\x7d\x83\x93\x83\x68\x83\x89"
        "\x83\x43\x83\x93\x82\xcc\x97\xbc\x95\xfb\x82\xf0\x8e\x77\x92\xe8\x82\xb5\x82\xc4"
        "\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42");
// The help file, opened at its contents.
QX_TEXT(kTextHelpFile, "QXLAUNCH.HLP", "QXLAUNCH.HLP");
// File dialog filter: "Programs" (half-width katakana) and "All files (*.*)".
QX_TEXT(kTextProgramFilter, "ﾌﾟﾛｸﾞﾗﾑ\0*.exe;*.com\0すべてのﾌｧｲﾙ (*.*)\0*.*\0",
        "\xcc\xdf\xdb\xb8\xde\xd7\xd1\0*.exe;*.com\0\x82\xb7\x82\xd7\x82\xc4\x82\xcc\xcc\xa7"
        "\xb2\xd9 (*.*)\0*.*\0");

