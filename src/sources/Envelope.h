#pragma once

#include <vector>

class Serializer;

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

    // The hand-drawn table (the computed ones are made anew): its size, then
    // every point widened to a double.
    virtual void Serialize(Serializer* serializer) const;
    // Fills the table from entry 0 with the stored points, each held to
    // 0 ... 1 (a point that is not a number keeps its value). A longer record
    // is read to its end and the extra points dropped; a shorter one or one
    // cut off keeps the remaining points.
    virtual void UnSerialize(Serializer* serializer);

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
