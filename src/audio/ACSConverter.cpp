#include "audio/ACSConverter.h"

#include "audio/ACSLinks.h"

TACSConverter::~TACSConverter()
{
    ReleaseInput(input_, this);
}

void TACSConverter::SetInput(TACSInput* value)
{
    for (TACSInput* link = value; link;) {
        if (link == this)
            return;
        auto* filter = dynamic_cast<TACSConverter*>(link);
        link = filter ? filter->Input() : nullptr;
    }
    SwapInput(input_, inputLock_, value, Busy(), this);
}

void TACSConverter::InputRemoved(TACSInput* input)
{
    DropInput(input_, inputLock_, input);
}

int64_t TACSConverter::ReadInput(void* buffer, int64_t count)
{
    TSpinGuard guard(inputLock_);
    TACSInput* input = input_.load();
    return input ? input->GetData(buffer, count) : 0;
}
