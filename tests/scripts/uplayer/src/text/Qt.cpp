// Qt below the desktop program.
#include <QString>
