#!/usr/bin/python3
"""Listens to the instrument in a JACK graph while the server's period
changes, as a performer's `jack_bufsize` does while playing: records its
audio output ports, checks that the cloud sounds at the expected pitch, then
for each new period checks that the sound is back within BACK_SECONDS of the
change and goes on.

usage: jack_period_rig.py EXPECTED_HZ PERIOD...

Prints one line per step; exits 1 at the first step that does not hold.
"""
import subprocess
import sys
import threading
import time

import jack
import numpy

AUDIO_PORTS = ["zoltafenri:outport 0", "zoltafenri:outport 1"]
# A cloud over a loud sine: at least -40 dBFS in every window that sounds.
MIN_RMS = 0.01
WINDOW_SECONDS = 0.1
BACK_SECONDS = 1.0
# After the sound is back, it goes on for this long, in windows of
# WINDOW_SECONDS, none silent.
GOES_ON_SECONDS = 1.5
WAIT_FOR_SOUND_SECONDS = 15
# Long enough for a line resolved to a quarter of a hertz.
PITCH_SECONDS = 4.0
PITCH_TOLERANCE_HZ = 1.0
# The line's width: a grain of a few tens of milliseconds spreads it by tens of hertz.
BAND = 0.05


class Recorder:
    def __init__(self):
        self.client = jack.Client("zf-period", no_start_server=True)
        self.inputs = [self.client.inports.register("in_%d" % i) for i in range(2)]
        self.lock = threading.Lock()
        # (time the block arrived, its frames as a 2 x N array)
        self.blocks = []
        self.client.set_process_callback(self.process)

    def process(self, frames):
        block = numpy.array([port.get_array() for port in self.inputs])
        now = time.monotonic()
        with self.lock:
            self.blocks.append((now, block))

    def connect(self):
        self.client.activate()
        for source, target in zip(AUDIO_PORTS, self.inputs):
            self.client.connect(source, target)

    def since(self, start):
        """The frames of the blocks that arrived after start, in one 2 x N array."""
        with self.lock:
            blocks = [b for t, b in self.blocks if t > start]
            self.blocks = [(t, b) for t, b in self.blocks if t > start]
        return numpy.concatenate(blocks, axis=1) if blocks else numpy.zeros((2, 0), dtype=numpy.float32)


def fail(text):
    print("FAIL: " + text, flush=True)
    sys.exit(1)


def window_rms(stereo, rate):
    size = int(WINDOW_SECONDS * rate)
    count = stereo.shape[1] // size
    return [float(numpy.sqrt(numpy.mean(stereo[:, i * size : (i + 1) * size] ** 2))) for i in range(count)]


def line_frequency(stereo, rate, expected):
    """The power-weighted mean frequency within BAND of the expected one:
    grains of random onsets make a line as wide as a grain's spectrum, whose
    highest bin wanders by hertz from one take to the next, while its centre
    stays where the pitch is."""
    mono = stereo.sum(axis=0)
    power = numpy.abs(numpy.fft.rfft(mono * numpy.hanning(len(mono)))) ** 2
    freqs = numpy.fft.rfftfreq(len(mono), 1.0 / rate)
    near = (freqs > expected * (1 - BAND)) & (freqs < expected * (1 + BAND))
    return float(numpy.sum(freqs[near] * power[near]) / numpy.sum(power[near]))


def expect_pitch(recorder, expected):
    start = time.monotonic()
    deadline = start + WAIT_FOR_SOUND_SECONDS
    rate = recorder.client.samplerate
    while True:
        time.sleep(0.5)
        heard = recorder.since(time.monotonic() - 0.5)
        if heard.size and float(numpy.sqrt(numpy.mean(heard**2))) >= MIN_RMS:
            break
        if time.monotonic() > deadline:
            fail("nothing heard within %d s" % WAIT_FOR_SOUND_SECONDS)
    start = time.monotonic()
    time.sleep(PITCH_SECONDS)
    heard = recorder.since(start)
    found = line_frequency(heard, rate, expected)
    print("cloud at %d Hz, %d frames per period: %.2f Hz (expected %.1f)" % (rate, recorder.client.blocksize, found,
                                                                            expected), flush=True)
    if abs(found - expected) > PITCH_TOLERANCE_HZ:
        fail("the cloud is heard at %.2f Hz, not %.1f Hz" % (found, expected))


def expect_back_after_change(recorder, period):
    rate = recorder.client.samplerate
    changed = time.monotonic()
    subprocess.run(["jack_bufsize", str(period)], check=True, timeout=10, stdout=subprocess.DEVNULL)
    time.sleep(BACK_SECONDS + GOES_ON_SECONDS + 0.5)
    if recorder.client.blocksize != period:
        fail("the server runs at %d frames per period, not %d" % (recorder.client.blocksize, period))
    windows = window_rms(recorder.since(changed), rate)
    first = next((i for i, rms in enumerate(windows) if rms >= MIN_RMS), None)
    if first is None:
        fail("period %d: no sound after the change (window RMS up to %.4f)" % (period, max(windows + [0.0])))
    back = first * WINDOW_SECONDS
    after = windows[first : first + int(GOES_ON_SECONDS / WINDOW_SECONDS)]
    print("period %d: sound back %.1f s after the change, then window RMS %.4f to %.4f" %
          (period, back, min(after), max(after)), flush=True)
    if back > BACK_SECONDS:
        fail("period %d: the sound came back only after %.1f s" % (period, back))
    if len(after) < int(GOES_ON_SECONDS / WINDOW_SECONDS) or min(after) < MIN_RMS:
        fail("period %d: the sound does not go on after it came back" % period)


def main():
    expected = float(sys.argv[1])
    recorder = Recorder()
    recorder.connect()
    expect_pitch(recorder, expected)
    for period in sys.argv[2:]:
        expect_back_after_change(recorder, int(period))
    recorder.client.deactivate()
    recorder.client.close()


if __name__ == "__main__":
    main()
