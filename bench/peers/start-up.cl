(ext:exit)
