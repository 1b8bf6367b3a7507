#pragma once

#include "module/entry_points.h"

const ModuleInfo* moduleInfoRecord();
const DefineEntry* defineTableRows();   // ends with a row whose name is null
const FunEntry* functionTableRows();    // ends with an all-zero row
