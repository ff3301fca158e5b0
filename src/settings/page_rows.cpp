// What both settings pages do alike: validate their five rows, write them back on OK, help.
#include "settings.h"

#include <prsht.h>

#include "../../res/resource.h"
#include "../hostlink/hostlink.h"
#include "../hostlink/texts.h"
#include "../tables/text_fit.h"
#include "settings_rules.h"

static bool FieldFilled(HWND page, int controlId) {
    char text[kTargetSize];
    return GetDlgItemTextA(page, controlId, text, sizeof(text)) > 0;
}

static void FocusTitle(HWND page, int row) { SetFocus(GetDlgItem(page, IDC_TITLE + row)); }

// Keeps the page active: the sheet reads the refusal from the page's message result.
static INT_PTR RefuseToLeave(HWND page) {
    SetWindowLongA(page, DWL_MSGRESULT, TRUE);
    return TRUE;
}

static INT_PTR RefuseBadRows(HWND page, int targetFirstId, bool focusOnGap) {
    RowFill rows[kTableSlots];
    for (int i = 0; i < kTableSlots; ++i) {
        rows[i].title = FieldFilled(page, IDC_TITLE + i);
        rows[i].target = FieldFilled(page, targetFirstId + i);
    }
    RowsVerdict verdict = JudgeRows(rows);
    switch (verdict.rule) {
    case kRowsGap:
        ShowFillFromTopError(page);
        if (focusOnGap)
            FocusTitle(page, verdict.row);
        return RefuseToLeave(page);
    case kRowsIncomplete:
        ShowTextBox(page, kTextBothFields, NULL, MB_OK | MB_ICONERROR);
        FocusTitle(page, verdict.row);
        return RefuseToLeave(page);
    default:
        return FALSE;
    }
}

// Through the bounded copy: a field holding more than its slot takes is cut before a
// double-byte character, never inside one.
static void ReadPageField(void* page, int controlId, char* field, int capacity) {
    char text[kTargetSize];
    int length = GetDlgItemTextA(static_cast<HWND>(page), controlId, text, sizeof(text));
    CopyFitted(field, static_cast<size_t>(capacity), text, static_cast<size_t>(length) + 1,
               IsSystemLeadByte);
}

static UINT NotifyCode(LPARAM lParam) { return reinterpret_cast<const NMHDR*>(lParam)->code; }

INT_PTR HandlePageNotify(HWND page, LPARAM lParam, LaunchTable& table, int targetFirstId,
                         bool focusOnGap) {
    switch (NotifyCode(lParam)) {
    case PSN_KILLACTIVE:
        return RefuseBadRows(page, targetFirstId, focusOnGap);
    case PSN_APPLY:
        ApplyRows(table, targetFirstId, ReadPageField, page);
        return FALSE;
    case PSN_HELP:
        ShowSettingsHelp();
        return FALSE;
    default:
        return FALSE;
    }
}
