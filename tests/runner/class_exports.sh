#!/usr/bin/env bash
# The module exports every listed member of the host class library under its
# C++ name, and no other member of those classes.
set -euo pipefail
module=$1
# Demangled names of the defined dynamic symbols ("ADDRESS TYPE NAME...").
names=$(nm -DC --defined-only "$module" | cut -d' ' -f3- | sort -u)

expected=$(cat <<'LIST'
CZEL_String::CZEL_String()
CZEL_String::CZEL_String(char, int)
CZEL_String::CZEL_String(char const*)
CZEL_String::CZEL_String(char const*, int)
CZEL_String::CZEL_String(CZEL_String const&)
CZEL_String::CZEL_String(CString const&)
CZEL_String::~CZEL_String()
CZEL_String::operator=(CZEL_String const&)
CZEL_String::TrimRightSpace()
CZEL_String::TrimLeftSpace()
CZEL_String::TrimSpace()
CZEL_String::ReverseFind(char) const
CZEL_String::DelTab()
CZEL_String::SplitParam(CStringList&)
CZEL_String::SplitObject(CStringList&)
CZEL_String::ReplaceEx(int, int, CString const&)
CZEL_String::DeleteLastByte()
CZEL_String::DeleteFirstByte()
CZEL_String::Normal()
CZEL_String::IsCWORD(int)
CZEL_String::IsDigit()
CZEL_String::IsHex()
CZEL_String::HexToLong()
CZEL_String::ToInt()
CZEL_String::ToLong()
CZEL_String::ToDouble()
CZEL_String::InsertEx(int, char)
CZEL_String::MakeDialogStaticText()
CZEL_String::MakePrintText()
CZEL_Handle::CZEL_Handle()
CZEL_Handle::CZEL_Handle(CZEL_Handle const&)
CZEL_Handle::CZEL_Handle(char const*)
CZEL_Handle::CZEL_Handle(void const*, unsigned int)
CZEL_Handle::~CZEL_Handle()
CZEL_Handle::Attach(void*)
CZEL_Handle::Detach()
CZEL_Handle::operator void*()
CZEL_Handle::operator CString()
CZEL_Handle::GetData()
CZEL_Handle::GetDataLength()
CZEL_Handle::operator=(CZEL_Handle const&)
CZEL_CHMS::CZEL_CHMS()
CZEL_CHMS::~CZEL_CHMS()
CZEL_CHMS::EnterCS()
CZEL_CHMS::LeaveCS()
CZEL_CHMS::operator=(CZEL_CHMS const&)
CAutoCHMS::CAutoCHMS(CZEL_CHMS*)
CAutoCHMS::CAutoCHMS(CZEL_CHMS&)
CAutoCHMS::~CAutoCHMS()
CAutoCHMS::operator=(CAutoCHMS const&)
BinData::IsEmpty()
BinData::SetMaxLen(int)
BinData::GetMaxLen()
BinData::GetLength()
CColorStatic::GetTextColor()
CColorStatic::GetBkColor()
CColorStatic::GetBkMode()
CZEL_ServerSocket::GetClientCount()
CZEL_IniFile::GetFileName()
CZEL_UserSocket::ShowWelcome()
LIST
)

status=0
while IFS= read -r member; do
    if ! grep -qxF -- "$member" <<<"$names"; then
        echo "missing export: $member"; status=1
    fi
done <<<"$expected"

# Nothing else of these classes: helpers must stay hidden. The virtual member
# brings its class's vtable and type information along.
classes='CZEL_String|CZEL_Handle|CZEL_CHMS|CAutoCHMS|BinData|CColorStatic|CZEL_ServerSocket|CZEL_IniFile|CZEL_UserSocket'
extra=$(grep -E "^($classes)::" <<<"$names" | grep -vxF -f <(printf '%s\n' "$expected") || true)
if [ -n "$extra" ]; then
    echo "unexpected exports:"; echo "$extra"; status=1
fi
exit $status
