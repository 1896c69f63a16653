// pty_process
