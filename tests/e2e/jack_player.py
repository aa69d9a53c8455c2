#!/usr/bin/env python3
"""Plays the instrument through JACK as a performer's rig would: records its
audio output ports, sends it notes, the pitch wheel, the sustain pedal and
the channel mode messages on its MIDI input, on two channels, and listens to
its MIDI output while the letter keys are pressed.

usage: jack_player.py WINDOW_ID

Prints one line per step; exits 1 at the first step that does not hold.
"""
import subprocess
import sys
import threading
import time

import jack
import numpy

RATE = 44100
AUDIO_PORTS = ["zoltafenri:outport 0", "zoltafenri:outport 1"]
MIDI_IN_PORT = "zoltafenri-midi-in:in"
MIDI_OUT_PORT = "zoltafenri-midi-out:out"
# Time for a MIDI message to reach the scene (drained by the window's idle
# loop) and for the grains playing before it to end.
SETTLE_SECONDS = 0.6
# On a loaded machine the window's loop, and with it the MIDI drain, may lag
# by seconds: each step waits, looking at short recordings, until the sound
# has changed, for at most this long.
CHANGE_SECONDS = 15
RESEND_SECONDS = 4
GLANCE_SECONDS = 0.3
RECORD_SECONDS = 1.5
# A pitch is right within this fraction, half a semitone: a cloud of grains
# drifting over the sound shifts its line by a few hertz, a wrong note by more.
PITCH_TOLERANCE = 0.03
# The wheel's bends are measured closer: a wheel on the old octave-wide range,
# or linear in ratio, is off by more than this.
WHEEL_TOLERANCE = 0.005
# The silenced sound's band may hold at most this fraction of the heard one's energy.
SILENCED_BELOW = 0.01
# Below this RMS the output is silence (the cloud plays at about 0.25).
SILENT_RMS = 0.001


class Rig:
    def __init__(self):
        self.client = jack.Client("zf-player", no_start_server=True)
        # Recordings are measured at the server's rate.
        global RATE
        RATE = self.client.samplerate
        self.inputs = [self.client.inports.register("in_%d" % i) for i in range(2)]
        self.to_instrument = self.client.midi_outports.register("to_instrument")
        self.from_instrument = self.client.midi_inports.register("from_instrument")
        self.lock = threading.Lock()
        self.outgoing = []
        # What was sent since the last sound was measured.
        self.step_messages = []
        self.received = []
        self.recording = None
        self.client.set_process_callback(self.process)

    def process(self, frames):
        self.to_instrument.clear_buffer()
        with self.lock:
            for message in self.outgoing:
                self.to_instrument.write_midi_event(0, message)
            self.outgoing = []
            for _, data in self.from_instrument.incoming_midi_events():
                self.received.append(bytes(data))
            if self.recording is not None:
                self.recording.append(numpy.array([port.get_array() for port in self.inputs]))

    def connect(self):
        self.client.activate()
        for source, target in zip(AUDIO_PORTS, self.inputs):
            self.client.connect(source, target)
        self.client.connect(self.to_instrument, MIDI_IN_PORT)
        self.client.connect(MIDI_OUT_PORT, self.from_instrument)

    def send(self, *message):
        with self.lock:
            self.outgoing.append(bytes(message))
            self.step_messages.append(bytes(message))
        time.sleep(SETTLE_SECONDS)

    def resend(self):
        """The messages of this step again: a cycle this Python client runs
        late in (its thread waiting for the interpreter) can lose what it
        wrote."""
        with self.lock:
            self.outgoing += self.step_messages

    def end_step(self):
        with self.lock:
            self.step_messages = []

    def record(self, seconds=RECORD_SECONDS):
        with self.lock:
            self.recording = []
        time.sleep(seconds)
        with self.lock:
            blocks, self.recording = self.recording, None
        return numpy.concatenate(blocks, axis=1)

    def take_received(self):
        with self.lock:
            received, self.received = self.received, []
        return received


def band(freqs, centre, width=1.03):
    """The bins within a factor of width of a frequency (3 % by default)."""
    return (freqs > centre / width) & (freqs < centre * width)


def band_energy(spectrum, freqs, centre):
    return float(numpy.sum(spectrum[band(freqs, centre)] ** 2))


def pitch(spectrum, freqs, expected):
    """The energy-weighted mean frequency within a minor third of the expected
    one: grains are short, so their line is wide, and its single highest bin
    wanders from one cloud of grains to the next. A wrong pitch by a
    semitone moves the mean by as much."""
    near = band(freqs, expected, 1.2)
    weights = spectrum[near] ** 2
    return float(numpy.sum(freqs[near] * weights) / numpy.sum(weights))


def analyse(stereo):
    mono = stereo.sum(axis=0)
    spectrum = numpy.abs(numpy.fft.rfft(mono * numpy.hanning(len(mono))))
    freqs = numpy.fft.rfftfreq(len(mono), 1.0 / RATE)
    rms = float(numpy.sqrt(numpy.mean(stereo**2)))
    return spectrum, freqs, rms


def fail(text):
    print("FAIL: " + text, flush=True)
    sys.exit(1)


def sounds_like(stereo, expected, silenced):
    spectrum, freqs, _ = analyse(stereo)
    strongest = float(freqs[numpy.argmax(spectrum)])
    if abs(strongest / expected - 1) > 0.05:
        return False
    return silenced is None or band_energy(spectrum, freqs, silenced) < band_energy(spectrum, freqs, expected)


def expect_pitch(rig, label, expected, silenced=None, idempotent=False, tolerance=PITCH_TOLERANCE):
    """Waits for the sound to change, then measures it. The messages that
    change it are sent again now and then where sending them twice does no
    harm (a knob, the wheel and its return, a note off), and the line says so."""
    start = time.monotonic()
    resent = 0
    while not sounds_like(rig.record(GLANCE_SECONDS), expected, silenced):
        waited = time.monotonic() - start
        if waited > CHANGE_SECONDS:
            break
        if idempotent and waited > (resent + 1) * RESEND_SECONDS:
            rig.resend()
            resent += 1
    rig.end_step()
    time.sleep(SETTLE_SECONDS)
    spectrum, freqs, rms = analyse(rig.record())
    strongest = float(freqs[numpy.argmax(spectrum)])
    peak = pitch(spectrum, freqs, expected)
    heard = band_energy(spectrum, freqs, expected)
    line = "%s: %.1f Hz (expected %.1f), RMS %.4f" % (label, peak, expected, rms)
    if resent:
        line += ", the message sent %d more times" % resent
    if silenced is not None:
        ratio = band_energy(spectrum, freqs, silenced) / max(heard, 1e-30)
        line += ", %.0f Hz at %.2g of it" % (silenced, ratio)
    print(line, flush=True)
    if rms < 0.005:
        fail(label + ": nothing heard")
    if abs(peak - expected) > expected * tolerance or abs(strongest / expected - 1) > 0.05:
        fail(label + ": wrong pitch (strongest bin at %.1f Hz)" % strongest)
    if silenced is not None and ratio > SILENCED_BELOW:
        fail(label + ": the sound at %.0f Hz still plays" % silenced)


def expect_letter_notes(rig, window):
    rig.take_received()
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "--delay", "100", "q"], check=True, timeout=10)
    received = []
    deadline = time.monotonic() + CHANGE_SECONDS
    while len(received) < 2 and time.monotonic() < deadline:
        time.sleep(GLANCE_SECONDS)
        received += rig.take_received()
    time.sleep(SETTLE_SECONDS)
    received += rig.take_received()
    print("letter q: received %s" % [list(m) for m in received], flush=True)
    if received != [bytes([0x90, 65, 127]), bytes([0x80, 65, 127])]:
        fail("the letter q did not send note 65 on and off")


def expect_wheel(rig):
    """Note 84 held on channel 1: the wheel bends it 2 semitones at its ends,
    1 half way, and a note struck while it is up starts bent."""
    rig.send(0xE0, 0x7F, 0x7F)
    expect_pitch(rig, "wheel full up", 880.0 * 2 ** (2 / 12), silenced=880.0, idempotent=True, tolerance=WHEEL_TOLERANCE)
    rig.send(0xE0, 0x00, 0x60)
    # Too near 880 Hz for its band to be told silent; the pitch tells it.
    expect_pitch(rig, "wheel half up", 880.0 * 2 ** (1 / 12), idempotent=True, tolerance=WHEEL_TOLERANCE)
    rig.send(0xE0, 0x7F, 0x7F)
    rig.send(0x80, 84, 0)
    expect_pitch(rig, "note off, the wheel up", 440.0, silenced=880.0 * 2 ** (2 / 12), idempotent=True)
    rig.send(0x90, 84, 100)
    expect_pitch(rig, "note on 84 struck with the wheel up", 880.0 * 2 ** (2 / 12), silenced=880.0,
                 tolerance=WHEEL_TOLERANCE)
    # The wheel springs back before the key is let go, as a performer's does.
    rig.send(0xE0, 0x00, 0x40)
    expect_pitch(rig, "wheel centred", 880.0, silenced=880.0 * 2 ** (2 / 12), idempotent=True)
    rig.send(0x80, 84, 0)
    expect_pitch(rig, "note off", 440.0, silenced=880.0, idempotent=True)


def expect_channel_messages(rig):
    """All Notes Off and All Sound Off end a held note, the sustain pedal
    holds one past its note off, and a note off on channel 2 leaves
    channel 1's note alone."""
    for controller, name in ((123, "All Notes Off"), (120, "All Sound Off")):
        rig.send(0x90, 84, 100)
        expect_pitch(rig, "note on 84 again", 880.0, silenced=440.0)
        rig.send(0xB0, controller, 0)
        expect_pitch(rig, name, 440.0, silenced=880.0, idempotent=True)
    rig.send(0xB0, 64, 127)
    rig.send(0x90, 84, 100)
    rig.send(0x80, 84, 0)
    # Measured from well past the note off: a lost pedal would have ended it.
    time.sleep(0.5)
    expect_pitch(rig, "sustain pedal down, note on and off 84", 880.0, silenced=440.0)
    rig.send(0xB0, 64, 0)
    expect_pitch(rig, "sustain pedal up", 440.0, silenced=880.0, idempotent=True)
    rig.send(0x90, 84, 100)
    rig.send(0x91, 84, 100)
    rig.send(0x81, 84, 0)
    time.sleep(0.5)
    expect_pitch(rig, "note 84 on channels 1 and 2, off on channel 2", 880.0, silenced=440.0)
    rig.send(0x80, 84, 0)
    expect_pitch(rig, "note off on channel 1", 440.0, silenced=880.0, idempotent=True)


def expect_program_change(rig, window):
    """The cloud deleted, Program Change 0 brings slot 1 back, the cloud in it."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "Delete"], check=True, timeout=10)
    deadline = time.monotonic() + CHANGE_SECONDS
    while analyse(rig.record(GLANCE_SECONDS))[2] > SILENT_RMS:
        if time.monotonic() > deadline:
            fail("the cloud still sounds after Delete")
    print("cloud deleted: silent", flush=True)
    rig.send(0xC0, 0)
    expect_pitch(rig, "Program Change 0: slot 1", 440.0, idempotent=True)


def main():
    window = sys.argv[1]
    rig = Rig()
    rig.connect()
    time.sleep(SETTLE_SECONDS)
    expect_pitch(rig, "cloud", 440.0)
    rig.send(0x90, 84, 100)
    expect_pitch(rig, "note on 84", 880.0, silenced=440.0)
    expect_wheel(rig)
    expect_channel_messages(rig)
    expect_letter_notes(rig, window)
    expect_program_change(rig, window)
    rig.client.deactivate()
    rig.client.close()


if __name__ == "__main__":
    main()
