// The process-wide settings of the one wrapped service.
#include "settings/service_settings.h"

ServiceSettings gSettings;
