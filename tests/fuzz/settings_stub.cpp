// See settings_stub.h. The parser must leave gSettings to LoadSettings when it
// calls it, so the stub writes nothing and the target checks gSettings is as
// it was.
#include "settings_stub.h"
#include "settings/settings_file.h"

int gLoadSettingsCalls;

void LoadSettings(void)
{
    gLoadSettingsCalls++;
}

int SaveSettings(void)
{
    return 1;
}
