#!/usr/bin/python3
"""A JACK client for the live input tests: plays a sine into every audio input
of the instrument, at the frequency written in CONTROL/freq, and keeps the
last seconds of the instrument's left output. A file CONTROL/dump holding a
path and a number of seconds makes it write that much of the newest output
there (raw float32) and remove the request. CONTROL/ready appears once both
directions are connected. Ends when CONTROL/stop appears."""

import os
import sys
import threading
import time

import jack
import numpy

control = sys.argv[1]
client = jack.Client("zf-live-test", no_start_server=True)
rate = client.samplerate
tone = client.outports.register("tone")
heard = client.inports.register("heard")
state = {"freq": 330.0, "phase": 0.0}
history = numpy.zeros(rate * 12, dtype=numpy.float32)
written = [0]
lock = threading.Lock()


@client.set_process_callback
def process(frames):
    step = 2.0 * numpy.pi * state["freq"] / rate
    phases = state["phase"] + step * numpy.arange(frames)
    tone.get_array()[:] = 0.5 * numpy.sin(phases)
    state["phase"] = float((phases[-1] + step) % (2.0 * numpy.pi))
    block = heard.get_array()
    with lock:
        start = written[0] % len(history)
        end = start + frames
        if end <= len(history):
            history[start:end] = block
        else:
            split = len(history) - start
            history[start:] = block[:split]
            history[: frames - split] = block[split:]
        written[0] += frames


def instrument_ports(is_input):
    # Every audio port but the server's own and this client's.
    return [p for p in client.get_ports(is_audio=True, is_input=is_input, is_output=not is_input)
            if not p.name.startswith(client.name + ":") and not p.name.startswith("system:")]


def connect_once(source, target):
    if target.name not in [p.name for p in client.get_all_connections(source)]:
        client.connect(source, target)


def meet_instrument():
    """Connects both directions; False while the instrument's ports are not
    all there, or belong to one that is just ending."""
    inputs = instrument_ports(True)
    outputs = instrument_ports(False)
    if not inputs or not outputs:
        return False
    try:
        for port in inputs:
            connect_once(tone, port)
        connect_once(outputs[0], heard)
    except jack.JackError:
        return False
    return True


def dump(path, seconds):
    frames = int(seconds * rate)
    with lock:
        end = written[0] % len(history)
        rolled = numpy.roll(history, -end)[-frames:].copy()
    rolled.tofile(path + ".part")
    os.rename(path + ".part", path)


with client:
    connected = False
    while not os.path.exists(os.path.join(control, "stop")):
        if not connected and meet_instrument():
            connected = True
            open(os.path.join(control, "ready"), "w").close()
        freq_file = os.path.join(control, "freq")
        if os.path.exists(freq_file):
            with open(freq_file) as f:
                text = f.read().strip()
            if text:
                state["freq"] = float(text)
        request = os.path.join(control, "dump")
        if os.path.exists(request):
            with open(request) as f:
                path, seconds = f.read().split()
            os.remove(request)
            dump(path, float(seconds))
        time.sleep(0.05)
