# Switches the amplifier on as the panel's power key does: a word with
# element 1 (the power key) set, then a word with every element clear, which
# releases the key. Each element is clocked in the same way: RTS and DTR low,
# RTS set to the element, DTR high (the amplifier samples RTS as DTR rises);
# the character "0" on the transmit line ends the word. The amplifier then
# asserts carrier detect.
#
# Try it on the simulated amplifier with a comm mapping holding "COM1 = sim",
# once the serial-port control is registered (regsvr lib/libvelmora_comm.so):
#   printf 'COM1 = sim\n' > /tmp/comm.conf
#   VELMORA_COMM_CONFIG=/tmp/comm.conf ctlhost tools/ctlhost/examples/poweron.ctl
# Without such a mapping COM1 is the machine's first serial port.

create comm MSCommLib.MSComm
put comm CommPort 1
put comm Settings "2400,N,8,1"
put comm PortOpen true
# Opening the port raises DTR and so clocks a stray bit into the amplifier's
# shift register; the eight bits of the next word shift it out again.
echo COM1 is open; carrier detect before the power key:
get comm CDHolding

echo Pressing and releasing the power key.
# The power key pressed: element 1 set.
# element 1
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable true
put comm DTREnable true
# element 2
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 3
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 4
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 5
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 6
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 7
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 8
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
put comm Output "0"

# The key released: every element clear.
# element 1
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 2
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 3
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 4
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 5
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 6
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 7
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
# element 8
put comm RTSEnable false
put comm DTREnable false
put comm RTSEnable false
put comm DTREnable true
put comm Output "0"

echo Carrier detect now:
get comm CDHolding
put comm PortOpen false
