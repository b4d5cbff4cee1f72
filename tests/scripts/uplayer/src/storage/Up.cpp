// A storage unit that reaches up into the desktop program.
#include "app/Errorbox.h"
