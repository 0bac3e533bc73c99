# The notification-area icon control: an icon with a tip, a short animation,
# a left double click as the shell reports it, and the design-time face.
#
# Run it from the repository's folder once the icon control is registered
# (regsvr lib/liblumora.so); with --manual-clock the animation's 1.5 s pass at
# once and the output is always the same:
#   ctlhost --manual-clock tools/ctlhost/examples/tray.ctl
# On a desktop with a tray the icon shows there until DeleteFromTray.

create tray lumora.Lumorel
# The form stays shown (HideWindow False); the icon's tip is the second argument.
call tray AddToTray icon:lumora/src/toolbox.bmp "Velmora: the icon control" false

# Frames 1 to 3, one every 500 ms: the counter moves before each event.
put tray AnimationInterval 500
call tray StartAnimation 1 3
advance 1500
# Puts back the picture and tip of AddToTray (event ReturnIcon).
call tray StopAnimation

# The shell reports a left double click as four mouse messages to the
# control's window, their number in x.
post tray 513
post tray 514
post tray 515
post tray 514
advance 0

call tray DeleteFromTray
save tray tray-bag.txt

# At design time the control shows its face and keeps its size.
mode design
create face lumora.Lumorel
resize face 2000 1000
snapshot face lumorel-face.png
