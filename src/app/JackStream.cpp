#include "app/JackStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The libjack status bits, as a sentence for the performer.
std::string DescribeOpenFailure(jack_status_t status)
{
    if (status & JackServerFailed)
        return "no JACK server runs (start one, e.g. with qjackctl or jackd)";
    if (status & JackVersionError)
        return "the JACK server speaks another protocol version than this program's libjack";
    return "the JACK server refused the client (libjack status " + std::to_string(unsigned(status)) + ")";
}

jack_client_t* OpenClient(const std::string& name, std::string* error)
{
    jack_status_t status = jack_status_t(0);
    // A performer starts the server: a client that started one would hold it
    // at a rate and period nobody chose.
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        *error = DescribeOpenFailure(status);
    return client;
}

}  // namespace

JackStream::JackStream(RtAudioCallback callback, void* userData)
    : _callback(callback), _userData(userData), _client(nullptr), _gone(false), _dropped(false), _rate(0),
      _blockSize(0), _xruns(0)
{
}

JackStream::~JackStream()
{
    Close();
}

unsigned JackStream::ServerRate(std::string* error)
{
    jack_client_t* client = OpenClient("zoltafenri-rate", error);
    if (client == nullptr)
        return 0;
    const unsigned rate = jack_get_sample_rate(client);
    jack_client_close(client);
    return rate;
}

bool JackStream::Open(const std::string& clientName, unsigned numInputs, unsigned numOutputs, std::string* error)
{
    _client = OpenClient(clientName, error);
    if (_client == nullptr)
        return false;
    _gone = false;
    _dropped = false;
    _rate = jack_get_sample_rate(_client);
    _blockSize = jack_get_buffer_size(_client);
    // Every period the server may choose fits, so that a new one is taken
    // without anything being made while the blocks run.
    _outBlock.assign(size_t(MAX_FRAMES) * numOutputs, 0.0f);
    _inBlock.assign(size_t(MAX_FRAMES) * numInputs, 0.0f);
    jack_set_process_callback(_client, OnProcess, this);
    jack_set_buffer_size_callback(_client, OnBufferSize, this);
    jack_set_sample_rate_callback(_client, OnSampleRate, this);
    jack_set_xrun_callback(_client, OnXrun, this);
    jack_on_info_shutdown(_client, OnShutdown, this);
    if (!RegisterPorts("outport", numOutputs, JackPortIsOutput, &_outputs, error) ||
        !RegisterPorts("inport", numInputs, JackPortIsInput, &_inputs, error)) {
        Close();
        return false;
    }
    return true;
}

bool JackStream::RegisterPorts(const char* prefix, unsigned count, unsigned long flags,
                               std::vector<jack_port_t*>* ports, std::string* error)
{
    for (unsigned i = 0; i < count; i++) {
        const std::string name = std::string(prefix) + " " + std::to_string(i);
        jack_port_t* port = jack_port_register(_client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags, 0);
        if (port == nullptr) {
            *error = "the JACK server refused the port '" + name + "'";
            return false;
        }
        ports->push_back(port);
    }
    return true;
}

bool JackStream::Start(const std::string& playbackClient, const std::string& captureClient, std::string* error)
{
    if (jack_activate(_client) != 0) {
        *error = "the JACK server did not start the client";
        return false;
    }
    ConnectTo(playbackClient, _outputs, true);
    ConnectTo(captureClient, _inputs, false);
    return true;
}

void JackStream::ConnectTo(const std::string& client, const std::vector<jack_port_t*>& ports, bool outputs)
{
    if (ports.empty())
        return;
    const char** names =
        jack_get_ports(_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, outputs ? JackPortIsInput : JackPortIsOutput);
    const std::string prefix = client + ":";
    size_t next = 0;
    for (size_t i = 0; names != nullptr && names[i] != nullptr && next < ports.size(); i++) {
        if (strncmp(names[i], prefix.c_str(), prefix.size()) != 0)
            continue;
        const char* ours = jack_port_name(ports[next++]);
        const int failed = outputs ? jack_connect(_client, ours, names[i]) : jack_connect(_client, names[i], ours);
        // Already connected (a session manager was quicker) is as good.
        if (failed != 0 && failed != EEXIST)
            fprintf(stderr, "Cannot connect %s and %s: connect them by hand\n", ours, names[i]);
    }
    jack_free(names);
}

void JackStream::Close()
{
    if (_client == nullptr)
        return;
    // The blocks still to come are silent and reach nobody.
    _gone = true;
    // A client the server dropped is let go of: libjack crashes when asked
    // to deactivate or close it once its server is gone.
    if (!_dropped.load()) {
        jack_deactivate(_client);
        jack_client_close(_client);
    }
    _client = nullptr;
    _outputs.clear();
    _inputs.clear();
}

unsigned JackStream::GetLatency() const
{
    if (_outputs.empty())
        return 0;
    jack_latency_range_t range;
    jack_port_get_latency_range(_outputs[0], JackPlaybackLatency, &range);
    return range.max;
}

int JackStream::OnProcess(jack_nframes_t frames, void* self)
{
    static_cast<JackStream*>(self)->Process(frames);
    return 0;
}

void JackStream::Process(jack_nframes_t frames)
{
    const size_t numOutputs = _outputs.size(), numInputs = _inputs.size();
    if (frames > MAX_FRAMES || _gone.load(std::memory_order_relaxed)) {
        for (jack_port_t* port : _outputs)
            memset(jack_port_get_buffer(port, frames), 0, sizeof(float) * frames);
        return;
    }
    for (size_t c = 0; c < numInputs; c++) {
        const float* in = static_cast<const float*>(jack_port_get_buffer(_inputs[c], frames));
        for (jack_nframes_t i = 0; i < frames; i++)
            _inBlock[i * numInputs + c] = in[i];
    }
    _callback(_outBlock.data(), numInputs > 0 ? _inBlock.data() : nullptr, frames, 0.0, 0, _userData);
    for (size_t c = 0; c < numOutputs; c++) {
        float* out = static_cast<float*>(jack_port_get_buffer(_outputs[c], frames));
        for (jack_nframes_t i = 0; i < frames; i++)
            out[i] = _outBlock[i * numOutputs + c];
    }
}

int JackStream::OnBufferSize(jack_nframes_t frames, void* self)
{
    // JACK's notification thread, while no block runs.
    static_cast<JackStream*>(self)->_blockSize = frames;
    if (frames > MAX_FRAMES)
        fprintf(stderr, "The JACK period of %u frames is longer than the %u the instrument takes: it is silent\n",
                unsigned(frames), MAX_FRAMES);
    return 0;
}

int JackStream::OnSampleRate(jack_nframes_t rate, void* self)
{
    JackStream* stream = static_cast<JackStream*>(self);
    // Every time constant and every loaded sound is made for the rate the
    // stream opened at: at another one the stream is over, and opens anew.
    if (rate != stream->_rate.load())
        stream->_gone = true;
    return 0;
}

int JackStream::OnXrun(void* self)
{
    static_cast<JackStream*>(self)->_xruns++;
    return 0;
}

void JackStream::OnShutdown(jack_status_t, const char*, void* self)
{
    JackStream* stream = static_cast<JackStream*>(self);
    stream->_dropped = true;
    stream->_gone = true;
}
