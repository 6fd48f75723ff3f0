#include "app/console.h"

void attachConsole() {}
