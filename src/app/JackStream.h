#pragma once

#include <jack/jack.h>

#include <RtAudio.h>

#include <atomic>
#include <string>
#include <vector>

// The instrument's stream in a JACK graph, on libjack itself: a client with
// its output ports (and input ports where it records), connected at start to
// the ports of the devices chosen. It follows the server: a new period is
// taken while playing, blocks of any size up to MAX_FRAMES reach the
// application's callback as interleaved float frames, and a server that stops
// or changes its rate under the client leaves a stream that says it is closed,
// for the owner to open again.
class JackStream {
public:
    // JACK's longest period.
    static const unsigned MAX_FRAMES = 8192;

    // callback renders interleaved blocks, as RtAudio's streams do.
    JackStream(RtAudioCallback callback, void* userData);
    virtual ~JackStream();
    JackStream(const JackStream&) = delete;
    JackStream& operator=(const JackStream&) = delete;

    // The rate of the JACK server that runs now (a short visit as a client of
    // its own), or 0 with the reason in error when none answers.
    static unsigned ServerRate(std::string* error);

    // Makes the client clientName with numOutputs output and numInputs input
    // ports; false, with the reason in error, when no server takes it.
    bool Open(const std::string& clientName, unsigned numInputs, unsigned numOutputs, std::string* error);
    // Starts the blocks and connects the ports to those of the clients
    // playbackClient and captureClient (e.g. "system").
    bool Start(const std::string& playbackClient, const std::string& captureClient, std::string* error);
    // Ends the blocks and the client (also one the server dropped).
    void Close();

    // Any thread: false once closed, or once the server stopped, dropped the
    // client or changed its rate.
    bool IsOpen() const { return _client != nullptr && !_gone.load(); }
    unsigned GetRate() const { return _rate.load(); }
    unsigned GetBlockSize() const { return _blockSize.load(); }
    unsigned GetNumInputs() const { return unsigned(_inputs.size()); }
    // Frames from the output ports to the speakers, as the graph says.
    unsigned GetLatency() const;
    // Cycles the server or the client missed since the stream opened.
    unsigned long GetXruns() const { return _xruns.load(); }

private:
    static int OnProcess(jack_nframes_t frames, void* self);
    static int OnBufferSize(jack_nframes_t frames, void* self);
    static int OnSampleRate(jack_nframes_t rate, void* self);
    static int OnXrun(void* self);
    static void OnShutdown(jack_status_t code, const char* reason, void* self);
    void Process(jack_nframes_t frames);
    bool RegisterPorts(const char* prefix, unsigned count, unsigned long flags, std::vector<jack_port_t*>* ports,
                       std::string* error);
    // Connects each of ports, in order, to the audio ports of client that
    // flow the other way.
    void ConnectTo(const std::string& client, const std::vector<jack_port_t*>& ports, bool outputs);

    RtAudioCallback _callback;
    void* _userData;
    jack_client_t* _client;
    std::vector<jack_port_t*> _outputs;
    std::vector<jack_port_t*> _inputs;
    // Interleaved blocks of the longest period, made once.
    std::vector<float> _outBlock;
    std::vector<float> _inBlock;
    std::atomic<bool> _gone;
    // The server stopped or dropped the client.
    std::atomic<bool> _dropped;
    std::atomic<unsigned> _rate;
    std::atomic<unsigned> _blockSize;
    std::atomic<unsigned long> _xruns;
};
