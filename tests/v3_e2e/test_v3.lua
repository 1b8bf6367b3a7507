-- SNMPv3 against snmpd and pysnmp (v3_peers.py): the users of users.txt drive gets, walks and sets,
-- checked against Net-SNMP's tools as the same user; each failure runs in a child runner (arguments:
-- the runner and the module) so that its standard error and dump can be read too.
local T = require("testlib")
local E = require("e2elib")

local RUNNER, MODULE = arg[1], arg[2]
local PORT = {snmpd = E.port("SNMPD_PORT"), pysnmp = E.port("V3_PYSNMP_PORT")}

-- A child: one call; result and snmpobjid() on standard output, host messages on standard error.
if arg[3] == "one" then
  local kind, port, community = arg[4], PORT[arg[5]], arg[6]
  local v
  if kind == "get" then v = snmpgetEx(E.HOST, port, 0, community, "system.5.0", 300, 1)
  elseif kind == "set" then v = snmpsetEx(E.HOST, port, 0, community, "system.4.0", ASN_OCTET_STR, "x", 300, 1)
  else v = snmptrapEx(E.HOST, port, 0, community, 6, 1, "enterprises.4242", 300, 1) end
  io.write(type(v), " ", tostring(v), " [", snmpobjid(), "]\n")
  return
end

-- Users of the Reeder key extension (AES-192C, AES-256C), which Net-SNMP's tools do not speak, get one get.
local ROWS, REEDER = {}, {}
for line in io.lines(E.env("V3_USERS")) do
  local f = {}
  for word in line:gmatch("%S+") do f[#f + 1] = word ~= "-" and word or "" end
  local rows = f[5] and f[5]:find("C$") and REEDER or ROWS
  if line:match("^%a") then rows[#rows + 1] = {peer = f[1], user = f[2], auth = f[3], apass = f[4], priv = f[5],
                                               ppass = f[6], rw = f[7] == "rw", context = f[8]} end
end
-- The same users written differently: a localized key instead of the phrase, protocols in lower case.
for _, r in ipairs({table.unpack(ROWS)}) do
  local changes = ({shau = {key = "0x" .. E.env("V3_SHA_KEY")}, sha512u = {lower = true}, carol = {lower = true}})[r.user]
  if changes then ROWS[#ROWS + 1] = setmetatable(changes, {__index = r}) end
end

local function community(r)
  local function part(p, secret) return p == "" and "" or (r.lower and p:lower() or p) .. ":" .. secret end
  -- Empty parts at the end are left out, but the "/" after the user stays: "#user" alone is a community.
  local text = ("#%s/%s/%s/%s"):format(r.user, part(r.auth, r.key or r.apass), part(r.priv, r.ppass), r.context)
  text = text:gsub("/+$", "")
  return text:find("/") and text or text .. "/"
end

-- Net-SNMP's tool as the same user.
local function tool(r, program, args)
  local o = {"-v3 -u", r.user, "-l", r.priv ~= "" and "authPriv" or r.auth ~= "" and "authNoPriv" or "noAuthNoPriv"}
  if r.auth ~= "" then o[#o + 1] = ("-a %s -A %s"):format(r.auth, E.quote(r.apass)) end
  if r.priv ~= "" then o[#o + 1] = ("-x %s -X %s"):format(r.priv, E.quote(r.ppass)) end
  if r.context ~= "" then o[#o + 1] = "-n " .. E.quote(r.context) end
  return E.parse_tool_output(E.run(("%s %s -On -Oe -Ox -m '' -M /nonexistent -t 2 -r 1 %s:%d %s"):format(
    program, table.concat(o, " "), E.HOST, PORT[r.peer], args)))
end

-- A call that must bring back a value and no message.
local function value(label, fn)
  local messages, v = E.with_messages(fn)
  T.eq(#messages, 0, label .. ": messages")
  T.truthy(snmpobjid() ~= "", label .. ": snmpobjid")
  return v
end

local WK = E.env("V3_WK_ADDR")  -- port 161 there relays to snmpd
for _, r in ipairs(ROWS) do
  local c, port = community(r), PORT[r.peer]
  local label = r.peer .. " " .. c
  local ref, byName = {}, {}
  for _, entry in ipairs(tool(r, "snmpwalk", "1.3.6.1.2.1.1")) do
    -- the proxied context ends in endOfMibView, which snmpwalk shows
    if entry.type ~= "endOfMibView" then ref[#ref + 1], byName[entry.oid] = entry, entry end
  end
  for _, oid in ipairs({"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.5.0"}) do
    T.eq(value(label .. " get " .. oid, function() return snmpgetEx(E.HOST, port, 0, c, oid) end),
      E.expected_value(byName[oid]), label .. " " .. oid)
    T.eq(snmpobjid(), oid, label .. " " .. oid .. ": snmpobjid")
    if r.peer == "snmpd" then
      T.eq(value(label .. " snmpget", function() return snmpget(WK, c, oid) end), E.expected_value(byName[oid]),
        label .. " snmpget " .. oid)
    end
  end

  -- A walk of the system group gives the names snmpwalk gives.
  snmpgetEx(E.HOST, port, 0, c, "system")
  local names, before = {}, snmpobjid()
  while snmpgetnext() and E.oid_within(snmpobjid(), "1.3.6.1.2.1.1") and E.oid_compare(snmpobjid(), before) > 0 do
    before = snmpobjid()
    names[#names + 1] = before
  end
  T.truthy(#names > 5, label .. ": walk longer than 5")
  for i = 1, math.max(#names, #ref) do T.eq(names[i], ref[i] and ref[i].oid, label .. ": walk name " .. i) end

  if r.rw then
    local text = ("v3 %s %d"):format(r.user, os.time())
    T.eq(value(label .. " set", function() return snmpsetEx(E.HOST, port, 0, c, "system.4.0", ASN_OCTET_STR, text) end),
      text, label .. ": set echo")
    T.eq(snmpgetEx(E.HOST, port, 0, c, "system.4.0"), text, label .. ": read back")
    T.eq(tool(r, "snmpget", "1.3.6.1.2.1.1.4.0")[1].bytes, text, label .. ": read back by snmpget")
    if r.peer == "snmpd" then
      T.eq(value(label .. " snmpset", function() return snmpset(WK, c, "system.6.0", ASN_OCTET_STR, text .. "!") end),
        text .. "!", label .. ": snmpset echo")
      T.eq(snmpget(WK, c, "system.6.0"), text .. "!", label .. ": snmpset read back")
    end
  end
end

-- Failures: the message, no value, and the line on standard error.
local NO_VALUE, NOT_OPENED = "number 0 []", "nil nil [1.3.6.1.2.1.1.5.0]"
local COULDNT_GET = "message 1127: Couldn't get variable (system.5.0)"
local COULDNT_OPEN = "message 1128: Couldn't open snmp"
local FAILURES = {
  -- kind, peer, community, result, message, line on standard error
  {"get", "snmpd", "#md5u/MD5:wrongpass12", NO_VALUE, COULDNT_GET, "dropped: usmStatsWrongDigests"},
  {"get", "pysnmp", "#carol/SHA-256:wrongpass12/AES:carolpriv123", NO_VALUE, COULDNT_GET, "dropped: wrong digest"},
  {"get", "snmpd", "#nobody/SHA:nobodypass1", NO_VALUE, COULDNT_GET, "dropped: usmStatsUnknownUserNames"},
  {"get", "pysnmp", "#nobody/SHA:nobodypass1", NO_VALUE, COULDNT_GET},
  {"get", "snmpd", "#nobody/", NO_VALUE, COULDNT_GET},
  {"get", "snmpd", "#md5u/MD5:md5pass123/DES:md5upriv123", NO_VALUE, COULDNT_GET, "dropped: usmStatsUnsupportedSecLevels"},
  {"get", "pysnmp", "#erin/MD5:erinpass1234/DES:erinpriv1234", NO_VALUE, COULDNT_GET},
  {"get", "snmpd", "#sha256u/SHA-256:sha256pass1/AES:wrongpriv12", NO_VALUE, COULDNT_GET},
  {"get", "snmpd", "#ctxu/SHA:ctxpass123//nosuch", NO_VALUE, COULDNT_GET},
  {"get", "snmpd", "#aes256s/SHA:aes256pass1/AES-256C:aes256priv1", NO_VALUE, COULDNT_GET, "may expect AES-256\n"},
  {"get", "pysnmp", "#frank/SHA:frankpass123/AES-256:frankpriv123", NO_VALUE, COULDNT_GET, "may expect AES-256C\n"},
  {"get", "pysnmp", "#gina/MD5:ginapass123/AES-192:ginapriv123", NO_VALUE, COULDNT_GET, "may expect AES-192C\n"},
  {"get", "snmpd", "#ctxu/SHA:ctxpass123", NO_VALUE, COULDNT_GET},
  {"set", "snmpd", "#md5u/MD5:md5pass123", "number 0 []", "message 1127: Couldn't get variable (system.4.0)"},
  {"set", "pysnmp", "#dave/SHA-512:davepass1234/DES:davepriv1234", "number 0 []", "message 1127: Couldn't get variable (system.4.0)"},
  {"get", "snmpd", "#md5u/MD6:md5pass123", NOT_OPENED, COULDNT_OPEN, "unknown authentication protocol MD6"},
  {"get", "snmpd", "#sha256u/SHA-256:sha256pass1/3DES:sha256priv1", NOT_OPENED, COULDNT_OPEN, "unknown privacy protocol 3DES"},
  {"get", "snmpd", "#md5u/MD5:short", NOT_OPENED, COULDNT_OPEN, "pass phrase shorter than 8"},
  {"get", "snmpd", "#md5u/MD5:0x00112233", NOT_OPENED, COULDNT_OPEN, "must be 0x and 32 hexadecimal digits"},
  {"get", "snmpd", "#shau/SHA:0x" .. ("zz"):rep(20), NOT_OPENED, COULDNT_OPEN, "must be 0x and 40 hexadecimal digits"},
  {"get", "snmpd", "#plain//AES:plainpriv12", NOT_OPENED, COULDNT_OPEN, "privacy needs authentication"},
  {"get", "snmpd", "#md5u/md5pass123", NOT_OPENED, COULDNT_OPEN, "needs PROTOCOL:secret"},
  {"get", "snmpd", "#/", NOT_OPENED, COULDNT_OPEN, "user name must be 1 to 32"},
  {"get", "snmpd", "#" .. ("u"):rep(33) .. "/", NOT_OPENED, COULDNT_OPEN, "user name must be 1 to 32"},
  {"get", "snmpd", "#ctxu/SHA:ctxpass123//" .. ("c"):rep(33), NOT_OPENED, COULDNT_OPEN, "context name longer than 32"},
  {"get", "snmpd", "#a/b/c/d/e", NOT_OPENED, COULDNT_OPEN, "#user/auth/priv/context"},
  {"trap", "snmpd", "#md5u/MD5:md5pass123", "nil nil []", "message 1129: #md5u"},
}
for _, f in ipairs(FAILURES) do
  local label = f[2] .. " " .. f[1] .. " " .. f[3]
  local out, err = E.capture(("VANTOR_DUMP=1 %s --module %s %s - - one %s %s %s"):format(E.quote(RUNNER),
    E.quote(MODULE), E.quote(arg[0]), f[1], f[2], E.quote(f[3])))
  T.eq(out, f[4] .. "\n", label .. ": result")
  T.eq(err:find("Sending %d+ bytes") ~= nil, f[4]:find("^number") ~= nil, label .. ": anything sent")
  T.truthy(err:find(f[5], 1, true), label .. ": message, got: " .. err)
  T.truthy(not f[6] or err:find(f[6], 1, true), label .. ": standard error, got: " .. err)
  T.truthy(not err:find("message 11", err:find(f[5], 1, true) + 1, true), label .. ": one message, got: " .. err)
end
for _, r in ipairs(REEDER) do
  local out = E.capture(("%s --module %s %s - - one get %s %s"):format(E.quote(RUNNER), E.quote(MODULE),
    E.quote(arg[0]), r.peer, E.quote(community(r))))
  T.truthy(out:find("^string .* %[1%.3%.6%.1%.2%.1%.1%.5%.0%]\n$"), community(r) .. ": got " .. out)
end
print(("v3_e2e: %d users, %d of the Reeder rule, %d failures"):format(#ROWS, #REEDER, #FAILURES))
