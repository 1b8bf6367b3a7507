#!/usr/bin/env python3
"""The runner's command lines: each form with its standard output, standard
error and exit status, one table. Usage: command_lines.py RUNNER MODULE DIR"""
import os
import re
import subprocess
import sys

runner, module, folder = sys.argv[1:4]
script = lambda name: os.path.join(folder, name)
VERSION = r"Lua 5\.4\.\d+  Copyright \(C\) .*; module SNMP 1\.01 \(SNMP support\)\n"
# A get to a loopback port where nothing listens: one transmission, 100 ms.
GET = 'snmpgetEx("127.0.0.1", 9, 0, "public", "system.5.0", 100, 1)'
# Its length and the octet after 30 82 00 vary: the first request id of a load
# is random and takes one to four octets.
DUMPED = (r"\nSending \d+ bytes to UDP: \[127\.0\.0\.1\]:9->\[0\.0\.0\.0\]:\d+\n"
          r"0000: 30 82 00 [0-9A-F]{2}  02 01 00 04  06 70 75 62  6C 69 63 A0    0\.\..\.\.\.\.\.public\.\n")

def run(args, stdin="", env=None):
    # Only the cases' own LUA_INIT, none of the caller's.
    clean = {k: v for k, v in os.environ.items() if not k.startswith("LUA_INIT")}
    return subprocess.run([runner] + args, input=stdin.encode(), capture_output=True, timeout=60,
                          env=dict(clean, **(env or {})))

M = ["--module", module]
# (what, arguments, standard input, environment, status, stdout pattern, stderr pattern);
# patterns must match the whole output (None: anything).
CASES = [
    ("script runs to its end", M + [script("ok.lua")], "", None, 0, "", ""),
    ("script error", M + [script("error.lua")], "", None, 1, "", r"vantor-lua: .*deliberate failure\n(.|\n)*"),
    ("script that does not exist", M + [script("no-such.lua")], "", None, 1, "", r"vantor-lua: cannot open .*\n"),
    ("unknown option", ["--frobnicate", script("ok.lua")], "", None, 2, "",
     r"vantor-lua: unrecognized option '--frobnicate'\nusage: vantor-lua (.|\n)*"),
    ("unknown short option", ["-x"], "", None, 2, "", r"vantor-lua: unrecognized option '-x'\nusage: (.|\n)*"),
    ("-W with more letters", ["-Wx"], "", None, 2, "", r"vantor-lua: unrecognized option '-Wx'\nusage: (.|\n)*"),
    ("-e without its chunk", M + ["-e"], "", None, 2, "", r"vantor-lua: '-e' needs argument\nusage: (.|\n)*"),
    ("-l before another option", M + ["-l", "-v"], "", None, 2, "", r"vantor-lua: '-l' needs argument\nusage: (.|\n)*"),
    ("--module without its path", ["--module"], "", None, 2, "",
     r"vantor-lua: '--module' needs argument\nusage: (.|\n)*"),
    ("module that does not load", ["--module", "/nonexistent/snmp.so", script("ok.lua")], "", None, 2, "",
     r"vantor-lua: cannot load module /nonexistent/snmp\.so: .*\n"),
    ("default message printer", M + [script("report.lua")], "", None, 0, "", r"message 1129: 1\.3\.x\n"),
    ("arguments in arg", M + [script("args.lua"), "one", "two"], "", None, 0, r"args\.lua one two\n", ""),
    ("-- ends the options", M + ["--", script("args.lua"), "-v", "-e"], "", None, 0, r"args\.lua -v -e\n", ""),
    ("-h", ["-h"], "", None, 0, r"usage: vantor-lua \[options\] \[script \[args\]\]\n(.|\n)*README(.|\n)*", ""),
    ("--help", ["--help"], "", None, 0, r"usage: (.|\n)*snmptrapEx\(peer, remotePort(.|\n)*", ""),
    ("-v", M + ["-v"], "", None, 0, VERSION, ""),
    ("-e", M + ["-e", 'print(oidLength("system"))'], "", None, 0, r"7\n", ""),
    ("-e attached, in order", M + ["-ex = 6", "-e", "print(x * 7)"], "", None, 0, r"42\n", ""),
    ("-e error", M + ["-e", 'error("bad")'], "", None, 1, "", r"vantor-lua: \(command line\):1: bad\n(.|\n)*"),
    ("-l global=module", M + ["-l", "s=string", "-e", 'print(s.upper("snmp"))'], "", None, 0, r"SNMP\n", ""),
    ("-W makes warn() print", M + ["-W", "-e", 'warn("lo", "ud")'], "", None, 0, "", r"Lua warning: loud\n"),
    ("warnings off without -W", M + ["-e", 'warn("quiet")'], "", None, 0, "", ""),
    ("LUA_INIT_5_4 first, over LUA_INIT", M + ["-e", "print(2)"], "",
     {"LUA_INIT_5_4": "print(1)", "LUA_INIT": "print(0)"}, 0, r"1\n2\n", ""),
    ("LUA_INIT @file", M + ["-e", "print(2)"], "", {"LUA_INIT": "@" + script("report.lua")}, 0, r"2\n",
     r"message 1129: 1\.3\.x\n"),
    ("LUA_INIT error", M + ["-e", "print(2)"], "", {"LUA_INIT": 'error("init")'}, 1, "",
     r"vantor-lua: LUA_INIT:1: init\n(.|\n)*"),
    ("-E ignores LUA_INIT", M + ["-E", "-e", "print(2)"], "", {"LUA_INIT_5_4": "print(1)", "LUA_INIT": "print(0)"},
     0, r"2\n", ""),
    ("-E ignores LUA_PATH", M + ["-E", "-e", "print(package.path:find('/nowhere/', 1, true))"], "",
     {"LUA_PATH_5_4": "/nowhere/?.lua", "LUA_PATH": "/nowhere/?.lua"}, 0, r"nil\n", ""),
    ("-l of a missing module", M + ["-l", "nosuch"], "", None, 1, "", r"vantor-lua: module 'nosuch' not found(.|\n)*"),
    ("- runs standard input", M + ["-", "a", "b"], "print(arg[0], ...)", None, 0, r"-\ta\tb\n", ""),
    ("no script: standard input", M, 'print(oidSetValue("system", 7, 5))', None, 0, r"1\.3\.6\.1\.2\.1\.1\.5\n", ""),
    ("-i after the script", M + ["-i", script("args.lua"), "x", "y"], "1 + 1\nt = {}\nfor i = 1, 2 do\nt[i] = i\nend\n#t\n",
     None, 0, VERSION + r"args\.lua x y\n> 2\n> > >> >> > 2\n> \n", ""),
    ("-i: errors do not end it", M + ["-i"], 'error("oops")\noidLength("1.2.3")\n', None, 0,
     VERSION + r"> > 3\n> \n", r"vantor-lua: stdin:1: oops\n(.|\n)*"),
    ("--dump", M + ["--dump", "-e", GET], "", None, 0, "", DUMPED + r"(.|\n)*message 1127(.|\n)*"),
    ("VANTOR_DUMP=1", M + ["-e", GET], "", {"VANTOR_DUMP": "1"}, 0, "", DUMPED + r"(.|\n)*"),
    ("no dump by default", M + ["-e", GET], "", {"VANTOR_DUMP": "0"}, 0, "",
     r"message 1127: Couldn't get variable \(system\.5\.0\)\n"),
]

failed = 0
for what, args, stdin, env, status, out, err in CASES:
    result = run(args, stdin, env)
    got = (result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace"))
    problems = []
    if got[0] != status:
        problems.append("exit %d, wanted %d" % (got[0], status))
    for label, text, pattern in (("stdout", got[1], out), ("stderr", got[2], err)):
        if pattern is not None and not re.fullmatch(pattern, text):
            problems.append("%s %r does not match %r" % (label, text, pattern))
    if problems:
        failed += 1
        print("FAIL: %s: %s" % (what, "; ".join(problems)))

# The help names every function of the module's table.
names = run(M + ["-e", 'for _, f in ipairs(vantor.functions()) do print(f.name) end']).stdout.decode().split()
help_text = run(["-h"]).stdout.decode()
missing = [name for name in names if name + "(" not in help_text]
if len(names) < 11 or missing:
    failed += 1
    print("FAIL: -h lists the module's functions: missing %s of %s" % (missing, names))

print("%d of %d command lines as expected" % (len(CASES) + 1 - failed, len(CASES) + 1))
sys.exit(1 if failed else 0)
