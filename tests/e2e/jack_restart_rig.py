#!/usr/bin/env python3
"""Connects to the instrument in the JACK server that runs now, as a
performer's patch bay does after a restart, and checks that it plays: the
cloud over a 440 Hz sine, and a note that reaches its MIDI input.

usage: jack_restart_rig.py before|after

Prints one line per step; exits 1 at the first step that does not hold.
"""
import sys
import time

from jack_player import SETTLE_SECONDS, Rig, expect_pitch


def main():
    label = sys.argv[1]
    rig = Rig()
    rig.connect()
    time.sleep(SETTLE_SECONDS)
    expect_pitch(rig, "cloud, %s the server's restart" % label, 440.0)
    if label == "after":
        rig.send(0x90, 84, 100)
        expect_pitch(rig, "note on 84 after the restart", 880.0, silenced=440.0)
        rig.send(0x80, 84, 0)
    rig.client.deactivate()
    rig.client.close()


if __name__ == "__main__":
    main()
