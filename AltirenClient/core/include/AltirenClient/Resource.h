// Numbers of the client's resources and of the Win32 message-box protocol that the
// client's code and its windows share: string ids, message-box flags and answers,
// command, control, dialog and timer ids.
#pragma once

using UINT = unsigned int;

// Message-box buttons (low nibble) and icons (second nibble).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

// Message-box answers; 0 means the box could not be shown.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Strings.
constexpr UINT IDS_TRAY_TOOLTIP = 61204;
constexpr UINT IDS_INVALID_BANDWIDTH = 61206;
constexpr UINT IDS_INVALID_LATENCY = 61207;
constexpr UINT IDS_INVALID_PACKET_LOSS = 61208;
constexpr UINT IDS_CANNOT_PLAY_PARAMETERS = 61209;
constexpr UINT IDS_LOGON_FAILED = 61210;
constexpr UINT IDS_REGISTER_FAILED = 61212;
constexpr UINT IDS_SERVER_IP_IN_IMPORT = 61213;
constexpr UINT IDS_CAPTION_ERROR = 61214;
constexpr UINT IDS_CAPTION_WARNING = 61215;
constexpr UINT IDS_CAPTION_INFORMATION = 61216;
constexpr UINT IDS_STATISTICS_FAILED = 61218;
constexpr UINT IDS_CLOSE_GRAPHS = 61219;
constexpr UINT IDS_NO_ADAPTER = 61220;
constexpr UINT IDS_INVALID_FILE = 61221;
constexpr UINT IDS_EXIT_WHILE_PLAYING = 61222;
constexpr UINT IDS_GRAPH_IN_STOP_MODE = 61223;
constexpr UINT IDS_SELECT_LOGIN_TYPE = 61225;
constexpr UINT IDS_UPGRADE_AVAILABLE = 61226;
constexpr UINT IDS_UPGRADE_REQUIRED = 61227;
constexpr UINT IDS_PREVIOUS_EMULATION_PLAYING = 61228;
constexpr UINT IDS_PREVIOUS_EMULATION_RESET_FAILED = 61229;
constexpr UINT IDS_UPGRADE_WHILE_PLAYING = 61231;
constexpr UINT IDS_OPTIONS_DESCRIPTION = 61232;
constexpr UINT IDS_CHOOSE_IP_ADDRESS = 61233;
constexpr UINT IDS_CHANGE_LOGIN_FAILED = 61234;
constexpr UINT IDS_IP_ALREADY_LISTED = 61235;
constexpr UINT IDS_TOO_MANY_FILTER_IPS = 61236;
constexpr UINT IDS_ADAPTER_IN_FILTER = 61237;
constexpr UINT IDS_PASSWORD_MISMATCH = 61238;
constexpr UINT IDS_OPTIONS_CAPTION = 61239;
constexpr UINT IDS_NON_ZERO_IP = 61240;
constexpr UINT IDS_RANGE_ORDER = 61241;
constexpr UINT IDS_CHOOSE_IP_RANGE = 61242;
constexpr UINT IDS_LOCAL_HOST_IN_RANGE = 61243;
constexpr UINT IDS_SERVER_IP_IN_FILTER = 61245;
constexpr UINT IDS_SERVER_UNREACHABLE = 61257;
constexpr UINT IDS_IMPORT_FAILED = 61258;
constexpr UINT IDS_LOGIN_OPTIONS_TOPIC = 61260;
constexpr UINT IDS_ENTER_EMAIL = 61263;
constexpr UINT IDS_NEW_USER_FAILED = 61264;
constexpr UINT IDS_INCLUDE_LIST_EMPTY = 61267;
constexpr UINT IDS_NEW_USER_ADDED = 61268;
constexpr UINT IDS_PASSWORD_CHANGED = 61269;
constexpr UINT IDS_OLD_PASSWORD_INVALID = 61270;
constexpr UINT IDS_PASSWORD_CHANGE_FAILED = 61272;
constexpr UINT IDS_OVERLAPS_INCLUDE = 61274;
constexpr UINT IDS_OVERLAPS_EXCLUDE = 61275;
constexpr UINT IDS_DUPLICATE_INCLUDE = 61276;
constexpr UINT IDS_DUPLICATE_EXCLUDE = 61277;
constexpr UINT IDS_REGISTRATION_FAILED = 61278;
constexpr UINT IDS_ENTER_USER_NAME = 61283;
constexpr UINT IDS_USER_NAME_TOO_LONG = 61284;
constexpr UINT IDS_NO_VALID_ADAPTER = 61285;
constexpr UINT IDS_NO_VALID_ADAPTER_CHECK = 61286;

// Commands of the menus, the tray menu and the toolbar (their tool tips are strings of
// the same ids).
constexpr UINT ID_FILE_PLAY = 32773;
constexpr UINT ID_TRAY_OPEN = 32774;
constexpr UINT ID_TRAY_PLAY_STOP = 32776;
constexpr UINT ID_TRAY_ABOUT = 32777;
constexpr UINT ID_TRAY_SHOW_STATISTICS = 32779;
constexpr UINT ID_TRAY_HELP = 32780;
constexpr UINT ID_TRAY_STATISTICS_SWITCH = 32782;
constexpr UINT ID_TRAY_SET_ADAPTER = 32783;
constexpr UINT ID_HELP_HELP = 32784;
constexpr UINT ID_EDIT_FILTER = 32785;
constexpr UINT ID_TOOLS_OPTIONS = 32786;
constexpr UINT ID_TOOLS_SET_ADAPTER = 32787;
constexpr UINT ID_VIEW_STATISTICS = 32788;
constexpr UINT ID_VIEW_BASIC = 32789;
constexpr UINT ID_VIEW_ADVANCED = 32790;
constexpr UINT ID_VIEW_PROFESSIONAL = 32791;
constexpr UINT ID_FILE_SELECT_NETWORK = 32793;
constexpr UINT ID_FILE_CLOSE_WINDOW = 32794;
constexpr UINT ID_TRAY_OPTIONS = 32798;
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;

// Controls.
constexpr UINT IDC_PLAY_STOP = 1002;
constexpr UINT IDC_PAGE_FRAME = 1014;
constexpr UINT IDC_MESSAGE_DONT_SHOW = 1113;
constexpr UINT IDC_MESSAGE_TEXT = 1114;
constexpr UINT IDC_MESSAGE_ICON = 1115;
constexpr UINT IDC_BANNER_LINE = 1153;
constexpr UINT IDC_STATISTICS_MANAGER = 1234;
// The manual settings page.
constexpr UINT IDC_MANUAL_LOSS = 1010;
constexpr UINT IDC_MANUAL_LATENCY = 1011;
constexpr UINT IDC_MANUAL_BANDWIDTH = 1013;
constexpr UINT IDC_MANUAL_LATENCY_RANGE = 1185;
constexpr UINT IDC_MANUAL_BANDWIDTH_RANGE = 1186;
constexpr UINT IDC_MANUAL_LOSS_RANGE = 1187;
// The preset page (dialog 153): the three sliders, their first tick labels (six each,
// ids counting up from these) and their value labels.
constexpr UINT IDD_PAGE_PRESET = 153;
constexpr UINT IDC_PRESET_LOSS = 1006;
constexpr UINT IDC_PRESET_LATENCY = 1007;
constexpr UINT IDC_PRESET_BANDWIDTH = 1008;
constexpr UINT IDC_PRESET_LOSS_VALUE = 1182;
constexpr UINT IDC_PRESET_LATENCY_VALUE = 1183;
constexpr UINT IDC_PRESET_BANDWIDTH_VALUE = 1184;
constexpr UINT IDC_PRESET_LOSS_TICK = 1197;
constexpr UINT IDC_PRESET_LATENCY_TICK = 1203;
constexpr UINT IDC_PRESET_BANDWIDTH_TICK = 1209;
// The import page (dialog 158) and the scenario download dialog (156).
constexpr UINT IDD_PAGE_BROWSER = 156;
constexpr UINT IDD_PAGE_IMPORT = 158;
constexpr UINT IDC_BROWSER = 1015;
constexpr UINT IDC_IMPORT_SUMMARY = 1016;
constexpr UINT IDC_IMPORT_SELECT = 1017;
constexpr UINT IDC_BROWSER_STATUS = 1240;
constexpr UINT IDC_IMPORT_FILE_NAME = 1117;
constexpr UINT IDC_IMPORT_LABEL = 1122;
// The manager window's toolbar (the first id of the standard control-bar range).
constexpr UINT IDW_MANAGER_TOOLBAR = 0xE800;

// Resources: application icon, menu and document template; tray menu; dialogs.
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDD_MANAGER = 154;
constexpr UINT IDD_PAGE_MANUAL = 155;
constexpr UINT IDR_TRAY_MENU = 300;
constexpr UINT IDD_MESSAGE = 345;
constexpr UINT IDD_OPTIONS_LOGIN = 350;
constexpr UINT IDD_OPTIONS_INSTALL = 352;

// Bitmaps: the page icons and the manager toolbar's normal and hot images.
constexpr UINT IDB_LATENCY = 313;
constexpr UINT IDB_PACKET_LOSS = 321;
constexpr UINT IDB_BANDWIDTH = 322;
constexpr UINT IDB_TOOLBAR_BASIC = 358;
constexpr UINT IDB_TOOLBAR_ADVANCED = 359;
constexpr UINT IDB_TOOLBAR_PROFESSIONAL = 360;
constexpr UINT IDB_TOOLBAR_STATISTICS = 362;
constexpr UINT IDB_TOOLBAR_HELP = 363;
constexpr UINT IDB_TOOLBAR_ADVANCED_HOT = 368;
constexpr UINT IDB_TOOLBAR_BASIC_HOT = 369;
constexpr UINT IDB_TOOLBAR_HELP_HOT = 370;
constexpr UINT IDB_TOOLBAR_PROFESSIONAL_HOT = 371;
constexpr UINT IDB_TOOLBAR_STATISTICS_HOT = 372;

// The statistics windows: the Top Talkers list, the connection graph window and its
// context menu.
constexpr UINT IDD_STATISTIC_LIST = 317;
constexpr UINT IDD_STATISTIC_GRAF = 318;
constexpr UINT IDR_STATISTIC_GRAF_MENU = 320;
constexpr UINT IDI_STATISTIC_GRAF = 323;
constexpr UINT IDI_STATISTIC_LIST = 324;
constexpr UINT IDC_STATISTIC_LIST = 1101;
constexpr UINT IDC_STATISTIC_CHART = 1103;
constexpr UINT IDC_STATISTIC_AUTOSCROLL = 1104;
constexpr UINT IDC_STATISTIC_CLEAR_ALL = 1105;
constexpr UINT IDC_STATISTIC_EXPORT = 1108;
constexpr UINT ID_STATISTIC_EXPORT_CSV = 32781;

// Address entry, the emulation filter dialog, the statistics options page and its range
// dialog: dialogs, controls and the texts of their message boxes.
constexpr UINT IDD_IP_RANGE = 243;
constexpr UINT IDD_ENTER_IP = 347;
constexpr UINT IDD_IP_FILTER = 348;
constexpr UINT IDD_STATISTICS_OPTIONS = 351;
constexpr UINT IDC_PAIRS_LIMIT = 1116;
constexpr UINT IDC_FILTER_EDIT = 1118;
constexpr UINT IDC_FILTER_LIST = 1119;
constexpr UINT IDC_FILTER_EXCLUDE = 1120;
constexpr UINT IDC_FILTER_INCLUDE = 1121;
constexpr UINT IDC_ENTER_IP_ADDRESS = 1123;
constexpr UINT IDC_FILTER_OVERRIDE = 1124;
constexpr UINT IDC_FILTER_ADD = 1125;
constexpr UINT IDC_FILTER_REMOVE = 1126;
constexpr UINT IDC_INCLUDE_DUPLICATE = 1127;
constexpr UINT IDC_RANGE_TO = 1130;
constexpr UINT IDC_RANGE_FROM = 1132;
constexpr UINT IDC_INCLUDE_LIST = 1133;
constexpr UINT IDC_EXCLUDE_LIST = 1134;
constexpr UINT IDC_INCLUDE_ADD = 1136;
constexpr UINT IDC_INCLUDE_EDIT = 1138;
constexpr UINT IDC_INCLUDE_REMOVE = 1139;
constexpr UINT IDC_EXCLUDE_ADD = 1140;
constexpr UINT IDC_EXCLUDE_EDIT = 1143;
constexpr UINT IDC_EXCLUDE_REMOVE = 1145;
constexpr UINT IDC_RANGE_PROTOCOL = 1147;
constexpr UINT IDC_EXCLUDE_DUPLICATE = 1149;
constexpr UINT IDC_RANGE_PORT = 1151;
constexpr UINT IDS_IP_FIELD_RANGE = 61401;
constexpr UINT IDS_IP_MISSING_VALUE = 61402;
constexpr UINT IDS_IP_ERROR_CAPTION = 61403;
constexpr UINT IDS_SELECT_ITEM_CAPTION = 61404;
constexpr UINT IDS_INVALID_RANGE_CAPTION = 61405;
constexpr UINT IDS_RANGE_ERROR_CAPTION = 61406;
constexpr UINT IDS_LOCAL_HOST_CAPTION = 61407;
constexpr UINT IDS_INTEGER_RANGE = 61408;
// The client's waits on its peers: the management server and the daemon.
constexpr UINT IDS_WAITING_FOR_SERVER = 61430;
constexpr UINT IDS_BROWSER_ADDRESS_MISSING = 61431;
constexpr UINT IDS_ACCOUNT_MISSING = 61432;
constexpr UINT IDS_EMULATION_LOST = 61433;
constexpr UINT IDS_DRIVER_UNREACHABLE = 61434;
// The options sheet: the registration page (dialog 352), the log-on page (350), the
// change-password dialog (353) and the preferences page (375).
constexpr UINT IDD_CHANGE_PASSWORD = 353;
constexpr UINT IDD_OPTIONS_PREFERENCES = 375;
constexpr UINT IDC_INSTALL_EMAIL = 1116;
constexpr UINT IDC_INSTALL_NEW_USER = 1155;
constexpr UINT IDC_INSTALL_EXISTING_USER = 1156;
constexpr UINT IDC_INSTALL_USER_NAME = 1157;
constexpr UINT IDC_INSTALL_PASSWORD = 1158;
constexpr UINT IDC_INSTALL_MESSAGE = 1160;
constexpr UINT IDC_LOGIN_USER_NAME = 1109;
constexpr UINT IDC_LOGIN_PASSWORD = 1110;
constexpr UINT IDC_LOGIN_MESSAGE = 1112;
constexpr UINT IDC_LOGIN_SERVER = 1128;
constexpr UINT IDC_LOGIN_CHANGE_PASSWORD = 1166;
constexpr UINT IDC_CHANGE_PWD_NEW = 1113;
constexpr UINT IDC_CHANGE_PWD_USER = 1163;
constexpr UINT IDC_CHANGE_PWD_OLD = 1164;
constexpr UINT IDC_CHANGE_PWD_CONFIRM = 1165;
constexpr UINT IDC_START_WITH_SYSTEM = 1181;

// Timers.
constexpr UINT IDT_STATISTICS_POLL = 1;
constexpr UINT IDT_UPGRADE = 102;
constexpr UINT IDT_THREAD_TIMER = 103;

// The program: tray animation pictures, About box, message dialog icon, adapter dialog.
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDD_NETWORK_ADAPTERS = 250;
constexpr UINT IDI_TRAY_ANIMATION_FIRST = 302; // 302 to 310
constexpr UINT IDI_TRAY_ANIMATION_LAST = 310;
constexpr UINT IDI_TRAY_PLAYING = 311;
constexpr UINT IDB_ABOUT = 312;
constexpr UINT IDI_MESSAGE = 346;
constexpr UINT IDC_ADAPTER_LIST = 1084;
// A start refused by the single-instance guard.
constexpr UINT IDS_INSTANCE_LOCK_FAILED = 61420;
constexpr UINT IDS_INSTANCE_NOT_ANSWERING = 61421;
