// Placeholder until the window side lands.
#include "SettingsData.h"
int main() {
    LoadPackageSettings();
    return 0;
}
