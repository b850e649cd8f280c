// payload subsystem
