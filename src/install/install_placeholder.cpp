// install subsystem
