#include "hostapi/host_value.h"

void setNumberResult(HostValue& result, double number)
{
    result.type = HostTypeNumber;
    result.number = number;
    result.text.Empty();
}

void setStringResult(HostValue& result, const CString& text)
{
    result.type = HostTypeString;
    result.number = 0.0;
    result.text = text;
}
