// Renders grains of sines through the grain voice into WAV files and prints
// how cleanly they sound beside the exact grains: the energy outside the tone
// the rate should give, and what is left of a tone pitched above Nyquist.
//
//   zoltagrainquality [folder for the WAV files, default "."]

#include <sndfile.h>

#include <cstdio>
#include <string>

#include "GrainQuality.h"

namespace {

using namespace grainquality;

void WriteWav(const std::string& path, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = (int)SAMPLE_RATE;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return;
    }
    sf_write_float(file, samples.data(), (sf_count_t)samples.size());
    sf_close(file);
}

Rendered RenderAndKeep(const std::string& folder, const char* name, const GrainRun& run)
{
    Rendered rendered = RenderGrains(run);
    WriteWav(folder + "/" + name + "_voice.wav", rendered.voice);
    WriteWav(folder + "/" + name + "_exact.wav", rendered.exact);
    return rendered;
}

void PrintRow(const char* measure, double exact, double voice)
{
    std::printf("| %-58s | %7.1f dB | %7.1f dB |\n", measure, exact, voice);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int grains = 40;
    std::printf("| %-58s | %10s | %10s |\n", "Measure", "exact", "voice");
    std::printf("|%s|%s|%s|\n", std::string(60, '-').c_str(), std::string(12, '-').c_str(),
                std::string(12, '-').c_str());

    Rendered r13 = RenderAndKeep(folder, "1k_rate1.3", {1000.0, 1.3, 100.0, grains});
    PrintRow("1 kHz at rate 1.3: energy outside 1300 +- 50 Hz", OutsideBandDb(r13.exact, 1300.0, 50.0),
             OutsideBandDb(r13.voice, 1300.0, 50.0));

    Rendered r15 = RenderAndKeep(folder, "12k_rate1.5", {12000.0, 1.5, 100.0, grains});
    PrintRow("12 kHz at rate 1.5: all but the 18 kHz tone", OutsideBandDb(r15.exact, 18000.0, 50.0),
             OutsideBandDb(r15.voice, 18000.0, 50.0));

    Rendered r1 = RenderAndKeep(folder, "12k_rate1", {12000.0, 1.0, 100.0, grains});
    Rendered r2 = RenderAndKeep(folder, "12k_rate2", {12000.0, 2.0, 100.0, grains});
    PrintRow("12 kHz at rate 2 (24 kHz): what is heard, vs rate 1", LevelDb(r2.exact, r1.exact),
             LevelDb(r2.voice, r1.voice));

    Rendered r50 = RenderAndKeep(folder, "1k_rate1_50ms", {1000.0, 1.0, 50.0, grains});
    PrintRow("1 kHz at rate 1, 50 ms grains: outside 1000 +- 50 Hz", OutsideBandDb(r50.exact, 1000.0, 50.0),
             OutsideBandDb(r50.voice, 1000.0, 50.0));
    return 0;
}
