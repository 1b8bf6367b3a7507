// SNMPv3 engines known from earlier calls.
//
// Every call opens its own session, and without this each would begin with a
// discovery round trip. The engine identifier, boots and clock of an agent
// that answered are kept per address and port in a small fixed table (the
// least recently used entry gives way), wiped when the module unloads. The
// keys localized to an engine are kept with the pass phrases
// (usm_key_cache.h).
#pragma once

#include "snmp/security/usec/known_agents.h"
#include "snmp/security/usm/usm_session.h"

constexpr int KnownEngineSlots = 8;

// True, and the session's engine set from the entry, when the address's
// engine is known.
bool recallEngine(AgentAddress at, UsmSession* usm);
// Keeps the session's view of its engine for the address.
void rememberEngine(AgentAddress at, const UsmSession* usm);
// Drops the address's entry, if any.
void forgetEngine(AgentAddress at);
// Drops every entry.
void forgetKnownEngines();
// Entries in use (for tests).
int knownEngineCount();
