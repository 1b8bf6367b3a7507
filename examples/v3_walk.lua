-- Walks subtrees over SNMPv3 (the user-based security model), taking the
-- options of Net-SNMP's snmpwalk -v3 and building the module's community
-- "#user/auth/priv/context" from them; the walk itself is walk.lua's.
--   vantor-lua examples/v3_walk.lua -u USER [-a PROTO -A PHRASE] [-x PROTO -X PHRASE]
--                                   [-n CONTEXT] HOST[:PORT] [SUBTREE...]
-- PROTO for -a: MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512; for -x: DES, AES.
-- A PHRASE of "0x" and hexadecimal digits is the localized key itself.
-- Example: -u alice -a SHA-256 -A alicepass123 -x AES -X alicepriv123 127.0.0.1:161 system
local options, rest = {}, {}
local i = 1
while i <= #arg do
  local flag = arg[i]:match("^%-([uaAxXn])$")
  if flag then
    options[flag] = arg[i + 1]
    i = i + 2
  else
    rest[#rest + 1] = arg[i]
    i = i + 1
  end
end
if not options.u or #rest == 0 then
  io.stderr:write("usage: v3_walk.lua -u USER [-a PROTO -A PHRASE] [-x PROTO -X PHRASE] [-n CONTEXT] HOST[:PORT] [SUBTREE...]\n")
  os.exit(2)
end
local function part(protocol, secret)
  return protocol and string.format("%s:%s", protocol, secret or "") or ""
end
local community = string.format("#%s/%s/%s/%s", options.u, part(options.a, options.A),
  part(options.x, options.X), options.n or "")

arg = {rest[1], community, table.unpack(rest, 2)}
dofile((debug.getinfo(1, "S").source:match("^@(.*/)") or "./") .. "walk.lua")
