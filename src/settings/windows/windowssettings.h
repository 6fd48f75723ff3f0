#pragma once

#include "settings/moduleini.h"

// Text in a Windows code page, as the system's ANSI profile functions keep it: CP_ACP is the
// system's ANSI code page (936 on a Chinese Windows).
const IniCodec &ansiCodec(unsigned codePage);

// The file's short (8.3) name, or empty where its volume keeps none.
QString shortPathName(const QString &path);

// Whether files can be made in the folder: its access list decides, which QFileInfo does not
// read, so this tries.
bool canCreateFilesIn(const QString &folder);

// How Windows keeps settings: the given code page (the system's by default), the program's
// folder wherever files can be made there, and short names for paths the code page lacks.
SettingsSystem windowsSettings(unsigned codePage = 0);
