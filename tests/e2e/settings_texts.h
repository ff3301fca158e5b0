// The add-on's texts as the code-page-932 bytes it must show, converted by the platform from
// this UTF-8 source (never through the add-on's build flags).
#pragma once
#include <string>

#include "harness.h"

namespace qx {

// The settings item; the failed attach: "not started yet", "internal error 1" and "...2".
const std::string kSettingsItem = Sjis("Quolixランチの設定...");
const std::string kHostNotRunning = Sjis("Quolixがまだ起動されていません。");
const std::string kInternalError1 = Sjis("QXLAUNCH.DLL: 内部エラー1");
const std::string kInternalError2 = Sjis("QXLAUNCH.DLL: 内部エラー2");

// The two page captions and tab labels, and the dialog font.
const std::string kFileMenuCaption = Sjis("ファイルメニュー");
const std::string kScriptMenuCaption = Sjis("スクリプトメニュー");
const std::string kDialogFont = Sjis("ＭＳ Ｐゴシック");
// "&1 -   ﾀｲﾄﾙ:" without its digit; "ｺﾏﾝﾄﾞﾗｲﾝ:", "参照...", "ｽｸﾘﾌﾟﾄﾌｧｲﾙ:".
const std::string kTitleLabelTail = Sjis(" -   ﾀｲﾄﾙ:");
const std::string kCommandLabel = Sjis("ｺﾏﾝﾄﾞﾗｲﾝ:");
const std::string kBrowseLabel = Sjis("参照...");
const std::string kScriptFileLabel = Sjis("ｽｸﾘﾌﾟﾄﾌｧｲﾙ:");
// The sheet's caption, the restart notice and its caption, the failed save, the online refusal,
// the two rules.
const std::string kSheetCaption = Sjis("Quolixランチ V1.0 の設定");
const std::string kRestartNotice = Sjis("設定した内容を有効にするためにはQuolixを再起動する必要があります");
const std::string kLaunchCaption = Sjis("Quolixランチ");
const std::string kSaveFailed = Sjis("設定を保存できませんでした。");
const std::string kOnlineRefusal = Sjis("オンライン中は設定できません。");
const std::string kFillFromTop = Sjis("上に詰めて入力してください。");
const std::string kBothFields = Sjis("タイトルとコマンドラインの両方を指定してください。");
const std::string kSheetOpenElsewhere = Sjis("ほかのQuolixで設定画面が開いています。その設定画面を閉じてから、もう一度開いてください。");
// The programs filter of the file dialog.
const std::string kProgramsFilterName = Sjis("ﾌﾟﾛｸﾞﾗﾑ");

} // namespace qx
