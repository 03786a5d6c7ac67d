// Must not compile: the applet's rooms see the applet's headers and
// platform/include, never a stand-in's own sources.
#include "applet_module.h"
#include "keyboard_dialog.h"
#include "keyboard_settings.h"
#include "resource.h"
#include <aygshell.h>

#include "platform/coredll/journal.h"
