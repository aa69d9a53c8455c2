#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/App.h"
#include "parameters/Parameter.h"
#include "parameters/ParameterProvider.h"
#include "ui/UIParameter.h"

namespace {

// Behaves like an effect parameter: stores any value and shows it as text.
class EffectLikeParameter : public Parameter {
public:
    EffectLikeParameter(int idx, double minValue, double maxValue, double defaultValue, double powFactor)
        : Parameter(nullptr, idx)
    {
        SetName("Test");
        _minValue = minValue;
        _maxValue = maxValue;
        _defaultValue = defaultValue;
        _value = defaultValue;
        _powFactor = powFactor;
    }
    void SetValue(ParameterProvider*, double) override {}
    void SetValue(double value) override
    {
        _value = value;
        UpdateValue();
    }
    void UpdateValue() override
    {
        char text[256];
        snprintf(text, sizeof(text), "%.4f", _value);
        SetValueStr(text);
    }
};

// A parameter that leaves every field as the base constructor set it.
class BareParameter : public Parameter {
public:
    explicit BareParameter(int idx) : Parameter(nullptr, idx) {}
    void SetValue(ParameterProvider*, double) override {}
    void SetValue(double) override {}
    void UpdateValue() override {}
};

class TestProvider : public ParameterProvider {
public:
    TestProvider() {}
    explicit TestProvider(Type type) : ParameterProvider(type) {}
    Parameter* GetCurrentParameter() override { return nullptr; }
    Parameter* GetParameter(int) override { return nullptr; }
    int GetNumParams() override { return 0; }
    double GetUIX() override { return 0.0; }
    double GetUIY() override { return 0.0; }
    double GetUIRadius() override { return 0.0; }
};

// An owner holding one plain value, of whatever provider type a test needs.
class ValueProvider : public TestProvider {
public:
    explicit ValueProvider(Type type) : TestProvider(type) {}
    double _ownerValue = 0.0;
    int _setCalls = 0;
};

// A provider-bound parameter whose current owner is whatever the test says.
class OwnedParameter : public ProviderParameter {
public:
    OwnedParameter(App* app, int idx)
        : ProviderParameter(app, idx, ParameterProvider::SOURCE, "Owned", -2.0, 4.0, 1.0, ValueText::Decibels)
    {
    }
    // Labels for 0 and 1 only, while the bounds reach 4.
    void UseLabels()
    {
        static const char* const labels[] = {"ZERO", "ONE"};
        SetLabels(labels, 2);
    }
    ValueProvider* _current = nullptr;
    int _currentParamIdx = -1;

protected:
    void Apply(ParameterProvider* provider) override
    {
        ValueProvider* owner = static_cast<ValueProvider*>(provider);
        owner->_ownerValue = _value;
        owner->_setCalls++;
    }
    bool ReadValue(ParameterProvider* provider, double* value) override
    {
        *value = static_cast<ValueProvider*>(provider)->_ownerValue;
        return true;
    }
    ParameterProvider* GetCurrentProvider() const override { return _current; }
    int GetCurrentParamIdx() const override { return _currentParamIdx; }
};

}  // namespace

TEST(ParameterTest, BaseConstructionDefaults)
{
    BareParameter param(7);
    EXPECT_EQ(7, param.GetIndex());
    EXPECT_DOUBLE_EQ(-1.0, param.GetValue());
    EXPECT_DOUBLE_EQ(1.0, param.GetSensivity());
    EXPECT_STREQ("", param.GetValueStr());
    param.SetSensivity(2.5);
    EXPECT_DOUBLE_EQ(2.5, param.GetSensivity());
}

TEST(ParameterTest, NormalisedInputIsClampedToTheRange)
{
    EffectLikeParameter param(0, 0.5, 5000.0, 1.0, 3.0);
    param.SetNormalizedValue(-0.5);
    EXPECT_DOUBLE_EQ(0.5, param.GetValue());
    EXPECT_STREQ("0.5000", param.GetValueStr());
    param.SetNormalizedValue(7.0);
    EXPECT_DOUBLE_EQ(5000.0, param.GetValue());
    EXPECT_STREQ("5000.0000", param.GetValueStr());
    EXPECT_DOUBLE_EQ(1.0, param.GetNormalizedValue());
}

TEST(ParameterTest, CubicCurveGivesFineControlNearTheLowerBound)
{
    EffectLikeParameter param(0, 0.5, 5000.0, 1.0, 3.0);
    param.SetNormalizedValue(0.5);
    EXPECT_DOUBLE_EQ(625.4375, param.GetValue());
    EXPECT_STREQ("625.4375", param.GetValueStr());
    EXPECT_NEAR(0.5, param.GetNormalizedValue(), 1e-12);
    for (double n : {0.0, 0.1, 0.33, 0.9, 1.0}) {
        param.SetNormalizedValue(n);
        EXPECT_NEAR(0.5 + 4999.5 * n * n * n, param.GetValue(), 1e-9) << n;
        EXPECT_NEAR(n, param.GetNormalizedValue(), 1e-12) << n;
    }
}

TEST(ParameterTest, CubeRootCurveGivesFineControlNearTheUpperBound)
{
    EffectLikeParameter param(0, 1.0, 17.0, 1.0, 1.0 / 3.0);
    param.SetNormalizedValue(0.125);
    EXPECT_NEAR(1.0 + 16.0 * 0.5, param.GetValue(), 1e-12);
    EXPECT_NEAR(0.125, param.GetNormalizedValue(), 1e-12);
}

TEST(ParameterTest, OutOfRangeValueReadsAsTheNearestBound)
{
    // Effect parameters take any value unclamped and show it.
    EffectLikeParameter param(0, 0.5, 5000.0, 1.0, 3.0);
    param.SetValue(-20.0);
    EXPECT_DOUBLE_EQ(-20.0, param.GetValue());
    EXPECT_STREQ("-20.0000", param.GetValueStr());
    // A control reading it must not get NaN, or every later drag would stay NaN.
    EXPECT_DOUBLE_EQ(0.0, param.GetNormalizedValue());
    param.SetValue(9000.0);
    EXPECT_DOUBLE_EQ(1.0, param.GetNormalizedValue());
}

TEST(ParameterTest, BoundsChecking)
{
    EffectLikeParameter param(0, -60.0, 6.0, 0.0, 1.0);
    double v = 10.0;
    param.CheckValueBounds(&v);
    EXPECT_DOUBLE_EQ(6.0, v);
    v = -100.0;
    param.CheckValueBounds(&v);
    EXPECT_DOUBLE_EQ(-60.0, v);
    v = -3.0;
    param.CheckValueBounds(&v);
    EXPECT_DOUBLE_EQ(-3.0, v);

    param.SetValueCheckBounds(42.0);
    EXPECT_DOUBLE_EQ(6.0, param.GetValue());
    param.SetValueCheckBounds(-61.0);
    EXPECT_DOUBLE_EQ(-60.0, param.GetValue());
    EXPECT_DOUBLE_EQ(0.0, param.GetDefaultValue());
}

TEST(ParameterTest, ValueTextIsCutToItsField)
{
    BareParameter param(0);
    param.SetValueStr("12.5 ms");
    EXPECT_STREQ("12.5 ms", param.GetValueStr());
    const std::string longText(400, 'x');
    param.SetValueStr(longText.c_str());
    EXPECT_EQ(std::string(Parameter::VALUE_STR_SIZE - 1, 'x'), param.GetValueStr());
}

TEST(ParameterProviderTest, ProvidersCarryTheirType)
{
    TestProvider undefined;
    TestProvider source(ParameterProvider::SOURCE);
    TestProvider rect(ParameterProvider::SOUND_RECT);
    EXPECT_EQ(ParameterProvider::UNDEFINED_TYPE, undefined.GetParamProviderType());
    EXPECT_EQ(-1, ParameterProvider::UNDEFINED_TYPE);
    EXPECT_EQ(ParameterProvider::SOURCE, source.GetParamProviderType());
    EXPECT_EQ(0, ParameterProvider::SOURCE);
    EXPECT_EQ(ParameterProvider::SOUND_RECT, rect.GetParamProviderType());
    EXPECT_EQ(1, ParameterProvider::SOUND_RECT);
}

TEST(ParameterTest, WithoutAnAppThereIsNoBoxAndNoName)
{
    EffectLikeParameter param(0, 0.0, 1.0, 0.0, 1.0);
    EXPECT_EQ(nullptr, param.GetUI());
    param.SetValue(0.25);
    EXPECT_STREQ("0.2500", param.GetValueStr());
}

TEST(ParameterTest, WithAnAppTheBoxHoldsNameAndText)
{
    App app;
    OwnedParameter param(&app, 3);
    ASSERT_NE(nullptr, param.GetUI());
    EXPECT_STREQ("Owned", param.GetUI()->GetName());
    param.SetValueStr("2.00");
    EXPECT_STREQ("2.00", param.GetUI()->GetValueStr());
    EXPECT_STREQ("2.00", param.GetValueStr());
    // Both copies are cut alike.
    const std::string longText(300, 'y');
    param.SetValueStr(longText.c_str());
    EXPECT_EQ(longText.substr(0, 254), param.GetValueStr());
}

TEST(ProviderParameterTest, ConstructionTakesNameBoundsAndDefault)
{
    App app;
    OwnedParameter param(&app, 2);
    EXPECT_EQ(2, param.GetIndex());
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    EXPECT_DOUBLE_EQ(1.0, param.GetDefaultValue());
    EXPECT_DOUBLE_EQ(0.5, param.GetNormalizedValue());
}

TEST(ProviderParameterTest, ValuesAreClampedBeforeTheyReachTheOwner)
{
    App app;
    OwnedParameter param(&app, 0);
    ValueProvider owner(ParameterProvider::SOURCE);
    param.SetValue(&owner, 9.0);
    EXPECT_DOUBLE_EQ(4.0, param.GetValue());
    EXPECT_DOUBLE_EQ(4.0, owner._ownerValue);
    param.SetValue(&owner, -7.0);
    EXPECT_DOUBLE_EQ(-2.0, owner._ownerValue);
    param.SetValue(&owner, 0.5);
    EXPECT_DOUBLE_EQ(0.5, owner._ownerValue);
}

TEST(ProviderParameterTest, AProviderOfTheWrongKindChangesNothing)
{
    App app;
    OwnedParameter param(&app, 0);
    ValueProvider rect(ParameterProvider::SOUND_RECT);
    ValueProvider undefined(ParameterProvider::UNDEFINED_TYPE);
    param.SetValue(&rect, 3.0);
    param.SetValue(&undefined, 3.0);
    param.SetValue(nullptr, 3.0);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    EXPECT_EQ(0, rect._setCalls);
    EXPECT_EQ(0, undefined._setCalls);
}

TEST(ProviderParameterTest, ValueWithoutProviderGoesToTheCurrentOwner)
{
    App app;
    OwnedParameter param(&app, 0);
    // No current owner: nothing happens at all.
    param.SetValue(3.0);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());

    ValueProvider owner(ParameterProvider::SOURCE);
    param._current = &owner;
    param.SetNormalizedValue(0.5);
    EXPECT_DOUBLE_EQ(1.0, owner._ownerValue);
    param.SetValue(3.0);
    EXPECT_DOUBLE_EQ(3.0, owner._ownerValue);
}

TEST(ProviderParameterTest, UpdateReadsTheOwnerClampsAndFormats)
{
    App app;
    OwnedParameter param(&app, 0);
    ValueProvider owner(ParameterProvider::SOURCE);
    param._current = &owner;
    owner._ownerValue = 2.5;
    param.UpdateValue();
    EXPECT_DOUBLE_EQ(2.5, param.GetValue());
    EXPECT_STREQ("2.5 dB", param.GetValueStr());
    owner._ownerValue = 12.0;
    param.UpdateValue();
    EXPECT_DOUBLE_EQ(4.0, param.GetValue());
    EXPECT_STREQ("4 dB", param.GetValueStr());

    // Without an owner the last text stays.
    param._current = nullptr;
    param.UpdateValue();
    EXPECT_STREQ("4 dB", param.GetValueStr());
}

TEST(ProviderParameterTest, LabelsFollowTheTruncatedValueAndEmptyOutsideTheTable)
{
    App app;
    OwnedParameter param(&app, 0);
    param.UseLabels();
    ValueProvider owner(ParameterProvider::SOURCE);
    param._current = &owner;
    owner._ownerValue = 1.9;
    param.UpdateValue();
    EXPECT_STREQ("ONE", param.GetValueStr());
    owner._ownerValue = 0.0;
    param.UpdateValue();
    EXPECT_STREQ("ZERO", param.GetValueStr());
    owner._ownerValue = 3.0;
    param.UpdateValue();
    EXPECT_STREQ("", param.GetValueStr());
    // Negative values outside the table too.
    owner._ownerValue = -1.5;
    param.UpdateValue();
    EXPECT_DOUBLE_EQ(-1.5, param.GetValue());
    EXPECT_STREQ("", param.GetValueStr());
}
