#include "parameters/ParameterProvider.h"

#include <string>

#include "parameters/Parameter.h"
#include "session/Serializer.h"

ParameterProvider::ParameterProvider(Type type) : _paramProviderType(type)
{
}

ParameterProvider::~ParameterProvider()
{
}

void ParameterProvider::SerializeParameters(Serializer* serializer)
{
    serializer->PutInt(GetNumParams());
    for (int i = 0; i < GetNumParams(); i++) {
        GetParameter(i)->TakeValueFrom(this);
        GetParameter(i)->Serialize(serializer);
    }
}

void ParameterProvider::UnSerializeParameters(Serializer* serializer)
{
    int count = 0;
    if (!serializer->GetInt(&count))
        return;
    if (count != GetNumParams()) {
        serializer->Refuse("a record holds " + std::to_string(count) + " parameters where " +
                           std::to_string(GetNumParams()) + " belong");
        return;
    }
    for (int i = 0; i < count; i++)
        GetParameter(i)->UnSerialize(serializer);
}
