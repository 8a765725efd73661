// uMainIds - control and menu command identifiers of the main window
// TfrmMain, as offsets from one base. The window and the programs that drive it from
// outside (the window tests) share them.
#pragma once

#define IDC_MAIN_BASE 1000

// Controls, in the order the window creates them.
#define IDC_GB_CONNECTION       (IDC_MAIN_BASE + 1)  // gbConnection
#define IDC_IMG                 (IDC_MAIN_BASE + 2)  // Img, the logo
#define IDC_L_PROGRAM_LOCATION  (IDC_MAIN_BASE + 3)  // lProgramLocation
#define IDC_E_PROGRAM_LOCATION  (IDC_MAIN_BASE + 4)  // eProgramLocation
#define IDC_BB_PROGRAM_LOCATION (IDC_MAIN_BASE + 5)  // bbProgramLocation, "..."
#define IDC_L_PASSWORD          (IDC_MAIN_BASE + 6)  // lPassword
#define IDC_LABEL1              (IDC_MAIN_BASE + 7)  // Label1, second line of lPassword
#define IDC_E_PASSWORD          (IDC_MAIN_BASE + 8)  // ePassword
#define IDC_GB_LOG              (IDC_MAIN_BASE + 9)  // gbLog
#define IDC_M_LOG               (IDC_MAIN_BASE + 10) // mLog, the log pane
#define IDC_BEVEL1              (IDC_MAIN_BASE + 11) // Bevel1
#define IDC_P_BTN               (IDC_MAIN_BASE + 12) // pBtn, the button panel
#define IDC_IMAGE1              (IDC_MAIN_BASE + 13) // Image1, the outcome picture
#define IDC_A_PROGRESS          (IDC_MAIN_BASE + 14) // aProgress
#define IDC_M_CAPTIONS          (IDC_MAIN_BASE + 15) // mCaptions, the status area
#define IDC_OK_BTN              (IDC_MAIN_BASE + 16) // OKBtn, Start
#define IDC_CANCEL_BTN          (IDC_MAIN_BASE + 17) // CancelBtn, Exit

// Menu commands.
#define IDM_MAIN_BASE 2000
#define IDM_PROJECT_ZAVUDAVADA   (IDM_MAIN_BASE + 1)
#define IDM_PROJECT_TAMBER_MINI  (IDM_MAIN_BASE + 2) // not shown in the menu; the command still works
#define IDM_PROJECT_TAMBER       (IDM_MAIN_BASE + 3)
#define IDM_OPERATIONS_ONLINE    (IDM_MAIN_BASE + 11)
#define IDM_OPERATIONS_SHUTDOWN  (IDM_MAIN_BASE + 12)
#define IDM_OPERATIONS_START     (IDM_MAIN_BASE + 13)
#define IDM_OPERATIONS_STOP      (IDM_MAIN_BASE + 14)
#define IDM_HELP                 (IDM_MAIN_BASE + 20)
// A language entry's command is this base plus its language number (2..5).
#define IDM_LANGUAGE_BASE        (IDM_MAIN_BASE + 30)

// The notice that the window cannot close during a run (uMain.rc).
#define IDD_BUSY_NOTICE          3000
#define IDC_NOTICE_ICON          3001
#define IDC_NOTICE_TEXT          0xFFFF // where the system's message boxes have their text

// The main window's class name.
#define MAIN_WINDOW_CLASS L"TfrmMain"
