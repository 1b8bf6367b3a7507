// What `vantor-lua -h` prints, and the usage line of a wrong command line.
#include <cstdio>

#include "host/runner/runner.h"

namespace {

const char Usage[] = "usage: vantor-lua [options] [script [args]]\n";

const char Options[] =
    "Runs a Lua script with the SNMP module loaded as the Vantor host loads it.\n"
    "\n"
    "Options (those of the lua interpreter, and the runner's own):\n"
    "  -e chunk       run the text chunk (before the script)\n"
    "  -l name        require library name into global name (-l g=mod: into g)\n"
    "  -i             an interactive prompt after the script (alone: a prompt at once)\n"
    "  -v             show the version of Lua and of the module\n"
    "  -E             ignore LUA_INIT, LUA_PATH and LUA_CPATH (and their _5_4 forms)\n"
    "  -W             turn warnings on\n"
    "  -              run standard input as the script, and stop handling options\n"
    "  --             stop handling options\n"
    "  --module PATH  load the module from PATH (default: snmp.so beside the runner)\n"
    "  --dump         print every datagram sent and received, in hexadecimal, on standard\n"
    "                 error (VANTOR_DUMP=1 in the environment does the same)\n"
    "  -h, --help     this help\n"
    "Before -e, -l and the script, LUA_INIT_5_4 (or else LUA_INIT) runs: a chunk, or @file.\n"
    "Without a script or -e, the runner prompts when standard input is a terminal and runs\n"
    "standard input otherwise. Exit status: 0 when everything ran to its end, 1 on a script\n"
    "error, 2 on a usage or module-load error.\n"
    "\n"
    "Script functions ([ ] marks optional arguments):\n"
    "  snmpget(peer, community, oid [, timeout [, retries]])\n"
    "  snmpgetEx(peer, remotePort, localPort, community, oid [, timeout [, retries]])\n"
    "  snmpgetnext()\n"
    "  snmpset(peer, community, oid, type, value [, timeout [, retries]])\n"
    "  snmpset(peer, community, oid, type, high, low, timeout, retries)\n"
    "  snmpsetEx(peer, remotePort, localPort, community, oid, type, value [, timeout [, retries]])\n"
    "  snmpsetEx(peer, remotePort, localPort, community, oid, type, high, low, timeout, retries)\n"
    "  snmptrapEx(peer, remotePort, localPort, community, generic, specific, enterprise\n"
    "             [, timeout [, retries]])\n"
    "  snmpaddvar(oid [, type, value])   snmpaddvar(oid, type, high, low)   snmpclearvars()\n"
    "  snmpgetvars(peer, community [, timeout [, retries]])\n"
    "  snmpgetvarsEx(peer, remotePort, localPort, community [, timeout [, retries]])\n"
    "  snmpsetvars(peer, community [, timeout [, retries]])\n"
    "  snmpsetvarsEx(peer, remotePort, localPort, community [, timeout [, retries]])\n"
    "  snmpvar(k)\n"
    "  snmpreadahead([repetitions])\n"
    "  snmpnotifyEx(peer, remotePort, localPort, community, trapOid [, timeout [, retries]])\n"
    "  snmpinformEx(peer, remotePort, localPort, community, trapOid [, timeout [, retries]])\n"
    "  snmpengineidEx([engineIdHex])\n"
    "  snmpobjid()\n"
    "  snmpGetLastError()\n"
    "  oidLength(oid)\n"
    "  oidGetValue(oid, index)\n"
    "  oidSetValue(oid, index, value)\n"
    "and vantor.module_info(), vantor.defines(), vantor.functions(), vantor.on_message(fn),\n"
    "vantor.value(type, number, text, extra), vantor.call_id(id, ...), bin(bytes).\n"
    "\n"
    "Example: vantor-lua -e 'print(snmpget(\"127.0.0.1\", \"public\", \"system.5.0\"))'\n"
    "The README describes every function, its results and messages, communities\n"
    "(\"+public\" for SNMPv2c, \"/user/key\" for user-based security,\n"
    "\"#user/SHA-256:authpass/AES:privpass/context\" for SNMPv3) and the examples.\n";

}  // namespace

int printUsage(const char* option, bool missingArgument)
{
    // Worded as lua words it.
    if (missingArgument)
        std::fprintf(stderr, "vantor-lua: '%s' needs argument\n", option);
    else
        std::fprintf(stderr, "vantor-lua: unrecognized option '%s'\n", option);
    std::fputs(Usage, stderr);
    std::fputs("Try 'vantor-lua -h' for more information.\n", stderr);
    return RunnerUsageError;
}

int printHelp()
{
    std::fputs(Usage, stdout);
    std::fputs(Options, stdout);
    return 0;
}
