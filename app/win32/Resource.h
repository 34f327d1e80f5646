// Identifiers shared by the resource script and the code.
#pragma once

#define IDI_TESSARA 1
