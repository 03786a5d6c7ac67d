/* Resource identifiers, shared by the resource script and the code. */
#ifndef RESOURCE_H
#define RESOURCE_H

#define IDD_KEYBOARD            7
#define IDS_KEYBOARD_TITLE      104
#define IDI_KEYBOARD            106
#define IDR_KEYBOARD_MENUBAR    107

/* IDD_KEYBOARD. Each spin control takes the control just before it in the
 * template as its buddy; 1004 is not assigned. */
#define IDC_INITIAL_DELAY       1001
#define IDC_INITIAL_DELAY_SPIN  1002
#define IDC_REPEAT_DELAY        1003
#define IDC_REPEAT_DELAY_SPIN   1005
#define IDC_KEYLIGHT            1006
#define IDC_KEYLIGHT_DELAY      1007
#define IDC_KEYLIGHT_DELAY_SPIN 1008
#define IDC_SIPPREF             1009

/* IDR_KEYBOARD_MENUBAR */
#define IDM_RESET               1010
#define IDM_APPLY               1011

#endif
