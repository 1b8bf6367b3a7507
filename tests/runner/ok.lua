assert(oidLength("1.3") == 2)
