// The configuration window. Registered mode (the service exists): the
// settings are shown read-only and button 1004 deletes the service.
// Unregistered mode: the settings can be edited, 1004 test-starts the
// program and OK validates, saves and offers to register.
#include <windows.h>

#include "ui/config_dialog.h"
#include "ui/further_dialog.h"
#include "ui/shell_functions.h"
#include "ui/test_start.h"
#include "launcher/messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "service/child_command.h"
#include "settings/account.h"
#include "settings/option_store.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

// The controls that can be edited only in the unregistered mode.
static const int kEditableControls[] = {IDC_EXE,         IDC_OPTION,  IDC_NAME,
                                        IDC_DESCRIPTION, IDC_END,     IDC_BROWSE,
                                        IDC_AUTO,        IDC_DESKTOP, IDC_RETRY};

static void ReadControl(HWND dialog, int id, char *out)
{
    out[0] = '\0';
    GetWindowTextA(GetDlgItem(dialog, id), out, TEXT_SIZE);
}

static int GetCheck(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

static void SetCheck(HWND dialog, int id, int value)
{
    HWND control = GetDlgItem(dialog, id);
    SendMessageA(control, BM_SETCHECK, (WPARAM)value, 0);
    EnableWindow(control, !gProbe.serviceExists);
}

static void SetEdit(HWND dialog, int id, const char *text)
{
    HWND control = GetDlgItem(dialog, id);
    SendMessageA(control, EM_LIMITTEXT, TEXT_SIZE, 0);
    SetWindowTextA(control, text);
    EnableWindow(control, !gProbe.serviceExists);
}

static void SetCaptionFromCatalogue(HWND dialog, int id, UINT message)
{
    char text[TEXT_SIZE];
    text[0] = '\0';
    LoadStringA(gInstance, message, text, sizeof text);
    SetWindowTextA(GetDlgItem(dialog, id), text);
}

// A chosen program file fills the path and proposes its name as service name.
static void TakeProgramFile(HWND dialog, const char *path)
{
    char name[TEXT_SIZE];
    BaseNameWithoutExtension(name, sizeof name, path);
    SetWindowTextA(GetDlgItem(dialog, IDC_EXE), path);
    SetWindowTextA(GetDlgItem(dialog, IDC_NAME), name);
}

static void OnInitDialog(HWND dialog)
{
    HICON icon = LoadIconA(gInstance, MAKEINTRESOURCEA(IDI_TAVI));
    if (icon != NULL) {
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
        SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    }
    SetEdit(dialog, IDC_EXE, gSettings.exe);
    SetEdit(dialog, IDC_OPTION, gSettings.option);
    SetEdit(dialog, IDC_NAME, gSettings.name);
    SetEdit(dialog, IDC_DESCRIPTION, gSettings.description);

    HWND list = GetDlgItem(dialog, IDC_END);
    for (UINT id = IDS_METHOD_CLOSE; id <= IDS_METHOD_CTRLBREAK; id++) {
        char text[TEXT_SIZE];
        text[0] = '\0';
        LoadStringA(gInstance, id, text, sizeof text);
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text);
    }
    // An index outside 0-3 leaves the list without a selection.
    SendMessageA(list, CB_SETCURSEL, (WPARAM)gSettings.end, 0);
    EnableWindow(list, !gProbe.serviceExists);
    EnableWindow(GetDlgItem(dialog, IDC_BROWSE), !gProbe.serviceExists);
    if (gProbe.serviceExists)
        SetCaptionFromCatalogue(dialog, IDC_TEST_OR_DELETE, IDS_DELETE_CAPTION);
    SetCheck(dialog, IDC_AUTO, gSettings.auto_);
    SetCheck(dialog, IDC_DESKTOP, gSettings.desktop);
    SetCheck(dialog, IDC_RETRY, gSettings.retry);
}

static void OnOk(HWND dialog)
{
    if (gProbe.serviceExists) {
        DestroyWindow(dialog);
        return;
    }
    ReadControl(dialog, IDC_NAME, gSettings.name);
    if (gSettings.name[0] == '\0') {
        ShowMessage(dialog, IDS_NAME_MISSING, NULL, kErrorCaption, MB_OK);
        return;
    }
    ReadControl(dialog, IDC_EXE, gSettings.exe);
    if (!HasProgramExtension(gSettings.exe)) {
        ShowMessage(dialog, IDS_PROGRAM_MISSING, NULL, kErrorCaption, MB_OK);
        return;
    }
    ReadControl(dialog, IDC_OPTION, gSettings.option);
    ReadControl(dialog, IDC_DESCRIPTION, gSettings.description);
    gSettings.end = (int)SendMessageA(GetDlgItem(dialog, IDC_END), CB_GETCURSEL, 0, 0);
    gSettings.auto_ = GetCheck(dialog, IDC_AUTO);
    gSettings.desktop = GetCheck(dialog, IDC_DESKTOP);
    gSettings.retry = GetCheck(dialog, IDC_RETRY);

    // Saved changed, the settings would start the program with other
    // options; a command line the launch refuses could never start; a
    // service registered without its settings would have nothing to run.
    // Each way the window stays with the user's input in place.
    // Every key and [env] are saved: a hand-written [env] that would not
    // read back as it stands is refused as the command line refuses it.
    if (!SettingsCanBeStored(&gSettings) || !EnvCanBeStored(&gSettings) ||
        !SettingsCouldStart(&gSettings, gPaths.moduleDir)) {
        ShowMessage(dialog, IDS_SETTINGS_REFUSED, NULL, kErrorCaption, MB_OK);
        return;
    }
    // A user's account needs its password, typed in the further settings.
    AccountRequest account = {gSettings.account,          gSettings.name,   0, 0,
                              gCredentials.passwordGiven, gSettings.desktop};
    AccountRefusal refusal = CheckAccountRequest(&account);
    if (refusal != ACCOUNT_ACCEPTED) {
        UINT id = refusal == ACCOUNT_NEEDS_PASSWORD ? IDS_PASSWORD_MISSING
                                                    : AccountRefusalMessage(refusal);
        ShowMessage(dialog, id, AccountShownName(gSettings.account), kErrorCaption, MB_OK);
        return;
    }
    if (!PrepareSettings()) {
        ShowMessage(dialog, IDS_CREATE_FAILED, NULL, kCaption, MB_OK);
        return;
    }
    if (ShowMessage(dialog, IDS_CONFIRM_REGISTER, gSettings.name, kCaption, MB_YESNO) != IDYES) {
        // Not registered: the settings are kept all the same.
        if (!CommitSettings()) {
            ShowMessage(dialog, IDS_CREATE_FAILED, NULL, kCaption, MB_OK);
            return;
        }
        DestroyWindow(dialog);
        return;
    }
    // A registration that fails changes nothing: tavi.ini stays as it was
    // and the window stays with the input, so the user can change the name.
    DWORD error = CreateWithSettings(1);
    if (error == ERROR_SERVICE_EXISTS) {
        // Not owned by the window, as the delete failure below.
        ShowMessage(NULL, IDS_NAME_TAKEN, NULL, kErrorCaption, MB_OK);
        return;
    }
    if (error != 0) {
        ShowMessage(dialog, IDS_CREATE_FAILED, NULL, kCaption, MB_OK);
        return;
    }
    if (ShowMessage(dialog, IDS_REGISTERED_START, gSettings.name, kCaption, MB_YESNO) == IDYES &&
        !StartWrappedService())
        ShowMessage(dialog, IDS_START_FAILED, gSettings.name, kCaption, MB_OK);
    DestroyWindow(dialog);
}

static void OnBrowse(HWND dialog)
{
    char path[TEXT_SIZE];
    if (!ChooseFile(dialog, IDS_BROWSE_TITLE, IDS_FILTER_NAME, IDS_FILTER_PATTERN, 0, NULL, path))
        return;
    if (!HasProgramExtension(path)) {
        ShowMessage(dialog, IDS_PROGRAM_FILES_ONLY, NULL, kErrorCaption, MB_OK);
        return;
    }
    TakeProgramFile(dialog, path);
}

static void OnFurther(HWND dialog)
{
    FurtherContext context;
    ReadControl(dialog, IDC_NAME, context.name);
    context.desktop = GetCheck(dialog, IDC_DESKTOP);
    ShowFurtherSettings(dialog, &context);
}

static void OnDelete(HWND dialog)
{
    if (ShowMessage(dialog, IDS_CONFIRM_DELETE, gSettings.name, kCaption, MB_YESNO) != IDYES)
        return;
    if (!DeleteWrappedService()) {
        ShowMessage(NULL, IDS_DELETE_FAILED, NULL, kErrorCaption, MB_OK);
        return;
    }
    ShowMessage(dialog, IDS_DELETED, gSettings.name, kCaption, MB_OK);
    // The deleted service is not started again when the window closes, nor one
    // registered anew from it: that one starts only when the user asks.
    gProbe.serviceExists = 0;
    gProbe.wasRunning = 0;
    for (int id : kEditableControls)
        EnableWindow(GetDlgItem(dialog, id), TRUE);
    SetCaptionFromCatalogue(dialog, IDC_TEST_OR_DELETE, IDS_TEST_CAPTION);
}

static void OnTestOrDelete(HWND dialog)
{
    if (gProbe.serviceExists) {
        OnDelete(dialog);
        return;
    }
    char exe[TEXT_SIZE];
    char option[TEXT_SIZE];
    ReadControl(dialog, IDC_EXE, exe);
    ReadControl(dialog, IDC_OPTION, option);
    int method = (int)SendMessageA(GetDlgItem(dialog, IDC_END), CB_GETCURSEL, 0, 0);
    TestStart(dialog, exe, option, method);
}

static void OnDropFiles(HWND dialog, HDROP drop)
{
    char path[TEXT_SIZE];
    path[0] = '\0';
    QueryDroppedFile(drop, 0, path, sizeof path);
    FinishDrop(drop);
    if (!gProbe.serviceExists) {
        // Only exe files are taken by dropping; a batch file is chosen
        // through the file dialog.
        if (TextEqualI(FindExtension(path), "exe"))
            TakeProgramFile(dialog, path);
        else
            ShowMessage(dialog, IDS_PROGRAM_FILES_ONLY, NULL, kErrorCaption, MB_OK);
    }
    SetForegroundWindow(dialog);
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: OnOk(dialog); break;
        case IDCANCEL: DestroyWindow(dialog); break;
        case IDC_BROWSE: OnBrowse(dialog); break;
        case IDC_TEST_OR_DELETE: OnTestOrDelete(dialog); break;
        case IDC_FURTHER: OnFurther(dialog); break;
        }
        break;
    case WM_DROPFILES: OnDropFiles(dialog, (HDROP)wParam); break;
    case WM_HELP:
        // The current directory is the executable's on this road.
        OpenWithShell(dialog, "tavi.chm");
        break;
    case WM_DESTROY:
        // A service that the probe stopped runs again, however the window closes.
        if (gProbe.wasRunning)
            StartWrappedService();
        // A password typed and not used for a registration goes with the window.
        ZeroText(gCredentials.password, sizeof gCredentials.password);
        PostQuitMessage(0);
        break;
    }
    return FALSE;
}
