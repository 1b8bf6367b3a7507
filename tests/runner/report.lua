-- A request with an invalid OID text reports it with message 1129 before any network work.
snmpget("127.0.0.1", "public", "1.3.x")
