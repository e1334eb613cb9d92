#include "Logging.h"

Q_LOGGING_CATEGORY(lcSettings, "kavelo.settings")
Q_LOGGING_CATEGORY(lcPlayer, "kavelo.player")
Q_LOGGING_CATEGORY(lcApp, "kavelo.app")
