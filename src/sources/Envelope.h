#pragma once

#include <vector>

// The amplitude shapes a source's grains can wear: five computed tables and
// one the performer draws. Grain voices copy a table and walk through it once
// per grain.
class Envelope {
public:
    enum EnvelopeType {
        HANNING = 0,
        TRIANGLE = 1,
        EXPDEC = 2,
        REXPDEC = 3,
        SINC = 4,
        HAND_DRAWN = 5,
        NUM_ENVELOPES = 6
    };

    explicit Envelope(unsigned long size);
    virtual ~Envelope() {}

    // Any type outside TRIANGLE ... HAND_DRAWN selects the HANNING table.
    const std::vector<float>& GetEnvelope(int type) const;
    // Overwrites the table from entry 0 on. The table keeps its size: values
    // beyond it are dropped and entries not given keep their values, so a
    // voice walking the table never runs off its end.
    void SetEnvelope(int type, const std::vector<float>& values);
    int GetEnvelopeSize() const { return _envSize; }
    int GetNumEnvelopes() const { return NUM_ENVELOPES; }

private:
    void GenerateEnvelopes();
    std::vector<float>* Table(int type);

    static void Hanning(std::vector<float>* env);
    static void Triangle(std::vector<float>* env);
    static void Sinc(std::vector<float>* env, int zeroCrossings);
    static void Expdec(std::vector<float>* decaying, std::vector<float>* rising);

    int _envSize;
    std::vector<float> _hanningEnv;
    std::vector<float> _triEnv;
    std::vector<float> _expDecEnv;
    std::vector<float> _rexpDecEnv;
    std::vector<float> _sincEnv;
    std::vector<float> _handDrawnEnv;
};
