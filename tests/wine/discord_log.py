"""Reads discord-sim's log as the presence scenarios check it: one line per
event, the JSON parsed (so a text that is no valid JSON fails here).

  connected
  handshake client_id=ID
  activity type=T | display=D | details=TEXT | state=TEXT | large_text=TEXT |
           large_image=KEY | length=END-START | lag=RECEIVED-START | pid=PID
  clear pid=PID
  disconnected

An absent field shows as '-'; TEXT as it is; lag in
whole seconds from the start to the frame's arrival. With --times, each
line begins with the arrival in Unix milliseconds."""
import json
import sys


def main():
    times = "--times" in sys.argv
    for line in open(sys.argv[1], encoding="utf-8"):
        words = line.rstrip("\n").split(" ", 3)
        event, at = words[0], int(words[1][3:])
        prefix = f"{at} " if times else ""
        if event != "frame":
            print(prefix + event)
            continue
        opcode = int(words[2][3:])
        payload = json.loads(words[3][5:])
        if opcode == 0:
            print(f"{prefix}handshake client_id={payload['client_id']} v={payload['v']}")
            continue
        args = payload["args"]
        activity = args.get("activity")
        if activity is None:
            print(f"{prefix}clear pid={args['pid']}")
            continue
        stamps = activity.get("timestamps", {})
        assets = activity.get("assets", {})
        start = stamps.get("start")
        length = stamps["end"] - start if "end" in stamps else "-"
        lag = round(at / 1000 - start) if start is not None else "-"
        fields = [f"type={activity['type']}", f"display={activity['status_display_type']}"]
        for key, source in [("details", activity), ("state", activity),
                            ("large_text", assets), ("large_image", assets)]:
            fields.append(f"{key}={source[key]}" if key in source else f"{key}=-")
        fields += [f"length={length}", f"lag={lag}", f"pid={args['pid']}"]
        print(prefix + "activity " + " | ".join(fields))


main()
