// See further_dialog.h. The fields are rows of one table, each naming its
// key in the settings' key table: they are filled and checked through the
// key's kind and range, with the functions the command line uses, so that a
// key added later is one row here and one control in the template.
#include <windows.h>

#include "ui/further_dialog.h"
#include "ui/shell_functions.h"
#include "launcher/messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "settings/account.h"
#include "settings/environment.h"
#include "settings/log_names.h"
#include "settings/service_settings.h"

// A field: its key, its control, and its label, which names it in the
// message that refuses its value.
struct FurtherField {
    int key;
    int control;
    int label;
};
static const FurtherField kFields[] = {
    {K_LOG, IDC_LOG, IDC_LOG_LABEL},
    {K_LOGSIZE, IDC_LOGSIZE, IDC_LOGSIZE_LABEL},
    {K_LOGKEEP, IDC_LOGKEEP, IDC_LOGKEEP_LABEL},
    {K_RETRYMAX, IDC_RETRYMAX, IDC_RETRYMAX_LABEL},
    {K_NORETRY, IDC_NORETRY, IDC_NORETRY_LABEL},
    {K_STOPTIME, IDC_STOPTIME, IDC_STOPTIME_LABEL},
};

// The account list's entries, in the catalogue's order from
// IDS_ACCOUNT_LOCALSYSTEM, and the key each stores; the last is a user's
// (or a managed account's) name, typed.
static const AccountKind kChoices[] = {ACCOUNT_LOCALSYSTEM, ACCOUNT_LOCALSERVICE,
                                       ACCOUNT_NETWORKSERVICE, ACCOUNT_VIRTUAL, ACCOUNT_USER};
static const char *const kChoiceKeys[] = {"", "LocalService", "NetworkService", "virtual", NULL};
enum { CHOICE_USER = 4 };

// The environment as the edit shows it: a line break more per line.
static char sEnvText[2 * ENV_SECTION_SIZE];

static const FurtherContext *sContext;

static int ChoiceOf(AccountKind kind)
{
    for (int i = 0; i < CHOICE_USER; i++)
        if (kChoices[i] == kind)
            return i;
    return CHOICE_USER;
}

static int SelectedChoice(HWND dialog)
{
    LRESULT choice = SendDlgItemMessageA(dialog, IDC_ACCOUNT, CB_GETCURSEL, 0, 0);
    return choice >= 0 && choice <= CHOICE_USER ? (int)choice : 0;
}

// The user's name and password are asked for only with the user's entry.
static void EnableAccountFields(HWND dialog, int readOnly)
{
    int user = !readOnly && SelectedChoice(dialog) == CHOICE_USER;
    EnableWindow(GetDlgItem(dialog, IDC_ACCOUNT_NAME), user);
    EnableWindow(GetDlgItem(dialog, IDC_PASSWORD), user);
}

static void FillAccount(HWND dialog, int readOnly)
{
    HWND list = GetDlgItem(dialog, IDC_ACCOUNT);
    for (UINT id = IDS_ACCOUNT_LOCALSYSTEM; id <= IDS_ACCOUNT_USER; id++) {
        char format[TEXT_SIZE], text[2 * TEXT_SIZE];
        format[0] = '\0';
        LoadStringA(gInstance, id, format, sizeof format);
        wsprintfA(text, format, sContext->name);
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text);
    }
    int choice = ChoiceOf(AccountKindOf(gSettings.account, sContext->name));
    SendMessageA(list, CB_SETCURSEL, (WPARAM)choice, 0);
    EnableWindow(list, !readOnly);
    SendDlgItemMessageA(dialog, IDC_ACCOUNT_NAME, EM_LIMITTEXT, TEXT_SIZE - 1, 0);
    SendDlgItemMessageA(dialog, IDC_PASSWORD, EM_LIMITTEXT, TEXT_SIZE - 1, 0);
    if (choice == CHOICE_USER)
        SetDlgItemTextA(dialog, IDC_ACCOUNT_NAME, gSettings.account);
    // A password typed before in this window is still there; none is ever read from a file.
    if (!readOnly && gCredentials.passwordGiven)
        SetDlgItemTextA(dialog, IDC_PASSWORD, gCredentials.password);
    EnableAccountFields(dialog, readOnly);
}

static void OnInitDialog(HWND dialog, int readOnly)
{
    for (const FurtherField &field : kFields) {
        const SettingKey &key = kKeys[field.key];
        char text[TEXT_SIZE];
        text[0] = '\0';
        if (key.text != NULL)
            CopyText(text, sizeof text, gSettings.*key.text);
        else
            AppendDecimal(text, sizeof text, (unsigned long)(gSettings.*key.number));
        SendDlgItemMessageA(dialog, field.control, EM_LIMITTEXT, TEXT_SIZE - 1, 0);
        SetDlgItemTextA(dialog, field.control, text);
        SendDlgItemMessageA(dialog, field.control, EM_SETREADONLY, readOnly, 0);
    }
    EnvListToText(sEnvText, sizeof sEnvText, gSettings.env);
    SendDlgItemMessageA(dialog, IDC_ENV, EM_LIMITTEXT, sizeof sEnvText - 1, 0);
    SetDlgItemTextA(dialog, IDC_ENV, sEnvText);
    SendDlgItemMessageA(dialog, IDC_ENV, EM_SETREADONLY, readOnly, 0);
    EnableWindow(GetDlgItem(dialog, IDC_LOG_BROWSE), !readOnly);
    FillAccount(dialog, readOnly);
}

// Shows the refusal of a field's value, naming the field by its label (the
// mnemonic left out), with second for the message's second "%s"; the focus
// goes to the field and the dialog stays. Always 0.
static int Refuse(HWND dialog, int control, int label, UINT message, const char *second = NULL)
{
    char name[TEXT_SIZE];
    name[0] = '\0';
    GetDlgItemTextA(dialog, label, name, sizeof name);
    for (char *p = name; *p != '\0'; p++)
        if (p[0] == '(' && p[1] == '&')
            *p = '\0';
    ShowMessage(dialog, message, name, kErrorCaption, MB_OK, second);
    HWND field = GetDlgItem(dialog, control);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    return 0;
}

// Reads every field of the table into edited; 0 after a refusal.
static int TakeFields(HWND dialog, ServiceSettings *edited)
{
    for (const FurtherField &field : kFields) {
        const SettingKey &key = kKeys[field.key];
        char text[TEXT_SIZE];
        text[0] = '\0';
        GetDlgItemTextA(dialog, field.control, text, sizeof text);
        if (key.kind == KEY_NUMBER) {
            int value = ParseNumberKey(key, text);
            char range[32];
            range[0] = '\0';
            AppendDecimal(range, sizeof range, (unsigned long)key.min);
            AppendText(range, sizeof range, "\x81\x60"); // "～" in the ANSI code page 932
            AppendDecimal(range, sizeof range, (unsigned long)key.max);
            if (value < 0)
                return Refuse(dialog, field.control, field.label, IDS_NUMBER_REFUSED, range);
            edited->*key.number = value;
            continue;
        }
        if (key.kind == KEY_CODES && ParseExitCodes(text, NULL) < 0)
            return Refuse(dialog, field.control, field.label, IDS_CODES_REFUSED);
        CopyText(edited->*key.text, TEXT_SIZE, text);
    }
    // The log's rotated names depend on how many are kept.
    if (!LogNamesFit(gPaths.moduleDir, edited->log, edited->logkeep))
        return Refuse(dialog, IDC_LOG, IDC_LOG_LABEL, IDS_LOG_REFUSED);
    return 1;
}

static int TakeEnvironment(HWND dialog, ServiceSettings *edited)
{
    sEnvText[0] = '\0';
    GetDlgItemTextA(dialog, IDC_ENV, sEnvText, sizeof sEnvText);
    int line;
    EnvResult result = EnvTextToList(edited->env, ENV_SECTION_SIZE, sEnvText, &line);
    edited->envWhole = 1;
    if (result == ENV_TOO_LONG)
        return Refuse(dialog, IDC_ENV, IDC_ENV_LABEL, IDS_ENV_TOO_LONG);
    char number[12];
    number[0] = '\0';
    AppendDecimal(number, sizeof number, (unsigned long)line);
    if (result == ENV_NOT_A_VARIABLE)
        return Refuse(dialog, IDC_ENV, IDC_ENV_LABEL, IDS_ENV_LINE_REFUSED, number);
    return 1;
}

// The account chosen into edited, and its password into password; a
// choice that did not change keeps the key as it was written.
static int TakeAccount(HWND dialog, ServiceSettings *edited, char *password)
{
    int choice = SelectedChoice(dialog);
    password[0] = '\0';
    if (choice == CHOICE_USER) {
        GetDlgItemTextA(dialog, IDC_ACCOUNT_NAME, edited->account, TEXT_SIZE);
        GetDlgItemTextA(dialog, IDC_PASSWORD, password, TEXT_SIZE);
    } else if (ChoiceOf(AccountKindOf(gSettings.account, sContext->name)) != choice) {
        CopyText(edited->account, TEXT_SIZE, kChoiceKeys[choice]);
    }
    AccountRequest request = {edited->account,  sContext->name,   choice == CHOICE_USER, 0,
                              password[0] != 0, sContext->desktop};
    AccountRefusal refusal = CheckAccountRequest(&request);
    if (refusal == ACCOUNT_ACCEPTED)
        return 1;
    int control = refusal == ACCOUNT_NO_DESKTOP       ? IDC_ACCOUNT
                  : refusal == ACCOUNT_NEEDS_PASSWORD ? IDC_PASSWORD
                                                      : IDC_ACCOUNT_NAME;
    UINT message =
        refusal == ACCOUNT_NEEDS_PASSWORD ? IDS_PASSWORD_MISSING : AccountRefusalMessage(refusal);
    ShowMessage(dialog, message, AccountShownName(edited->account), kErrorCaption, MB_OK);
    SetFocus(GetDlgItem(dialog, control));
    return 0;
}

static void OnOk(HWND dialog)
{
    static ServiceSettings edited;
    char password[TEXT_SIZE];
    edited = gSettings;
    if (TakeFields(dialog, &edited) && TakeEnvironment(dialog, &edited) &&
        TakeAccount(dialog, &edited, password)) {
        gSettings = edited;
        CopyText(gCredentials.password, sizeof gCredentials.password, password);
        gCredentials.passwordGiven = password[0] != '\0';
        EndDialog(dialog, IDOK);
    }
    ZeroText(password, sizeof password);
}

static void OnBrowseLog(HWND dialog)
{
    char path[TEXT_SIZE];
    if (ChooseFile(dialog, IDS_LOG_BROWSE_TITLE, IDS_LOG_FILTER_NAME, IDS_LOG_FILTER_PATTERN, 1,
                   "log", path))
        SetDlgItemTextA(dialog, IDC_LOG, path);
}

static INT_PTR CALLBACK FurtherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    int readOnly = (int)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        OnInitDialog(dialog, (int)lParam);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (readOnly)
                EndDialog(dialog, IDCANCEL);
            else
                OnOk(dialog);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case IDC_LOG_BROWSE: OnBrowseLog(dialog); return TRUE;
        case IDC_ACCOUNT:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                EnableAccountFields(dialog, readOnly);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void ShowFurtherSettings(HWND owner, const FurtherContext *context)
{
    sContext = context;
    DialogBoxParamA(gInstance, MAKEINTRESOURCEA(IDD_FURTHER), owner, FurtherDialogProc,
                    (LPARAM)gProbe.serviceExists);
}
