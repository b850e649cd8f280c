// ui subsystem
