// The host's binary variables. A script value names one by the text "BIN"
// and its extra word, which holds the variable's number.
#include <vector>

#include "host/runner/runner.h"

namespace {

std::vector<BinData*>& variables()
{
    static std::vector<BinData*> list;
    return list;
}

}  // namespace

int32_t createBinaryVariable(const void* bytes, size_t length)
{
    if (length > 0x7FFFFFFF)
        return -1;
    BinData* data = MakeBinData(bytes, static_cast<DWORD>(length), static_cast<DWORD>(length));
    if (data == nullptr)
        return -1;
    variables().push_back(data);
    return static_cast<int32_t>(variables().size());  // numbers start at 1; 0 names nothing
}

void releaseBinaryVariables()
{
    for (BinData* data : variables())
        FreeBinData(data);
    variables().clear();
}

int32_t binaryVariableLookup(const uint32_t* extraWord)
{
    if (extraWord == nullptr)
        return -1;
    const uint32_t number = *extraWord;
    if (number == 0 || number > variables().size())
        return -1;
    return static_cast<int32_t>(number - 1);
}

BinData* binaryVariableAccess(intptr_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= variables().size())
        return nullptr;
    return variables()[static_cast<size_t>(index)];
}
