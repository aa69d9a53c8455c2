#pragma once

class Parameter;
class Serializer;

// Base of every object that owns editable parameters (sources and sound
// rect views). Parameters check the provider's type before applying a
// value, so a value meant for a source never reaches a sound rect.
class ParameterProvider {
public:
    enum Type { UNDEFINED_TYPE = -1, SOURCE = 0, SOUND_RECT = 1 };

    virtual ~ParameterProvider();

    virtual Type GetParamProviderType() const { return _paramProviderType; }
    // The parameter picked in the pie menu, or null.
    virtual Parameter* GetCurrentParameter() = 0;
    virtual Parameter* GetParameter(int idx) = 0;
    virtual int GetNumParams() = 0;
    // Centre and radius of the provider's view in scene units, y up; the pie
    // menu lays out the parameter handles around it.
    virtual double GetUIX() = 0;
    virtual double GetUIY() = 0;
    virtual double GetUIRadius() = 0;

    // The parameter count, then every parameter's record in index order.
    void SerializeParameters(Serializer* serializer);
    // A count other than this provider's own is refused: the records after
    // it would not line up with anything.
    void UnSerializeParameters(Serializer* serializer);

protected:
    explicit ParameterProvider(Type type = UNDEFINED_TYPE);

    Type _paramProviderType;
};
